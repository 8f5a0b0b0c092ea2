#pragma once
// FTP paths as the product means them: from the server's root, not from the login folder.
#include <string>

// url with its path taken from the FTP server's root: "ftp://host/var/x" retrieves "/var/x",
// as the Windows FTP functions do ("%2F" makes the first path step absolute). A URL that
// already starts its path with "%2F", or has no path, comes back unchanged.
std::string FtpUrlFromServerRoot(const std::string& url);
