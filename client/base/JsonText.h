#pragma once
// JSON value texts of the report bodies and request queries.
#include <string>

// The text between double quotes with the JSON specials escaped ("" gives "\"\"").
std::string JsonQuoted(const std::string& text);
// "null" for "", else JsonQuoted(text).
std::string JsonText(const std::string& text);
// "%d"
std::string DecimalText(int value);
