#include "client/ui/views/CHotAppStrip.h"

CHotAppStrip::CHotAppStrip(IKivoHost& host, QWidget* window) : m_host(host), m_window(window) {}
CHotAppStrip::~CHotAppStrip() = default;
void CHotAppStrip::Rebuild(const QRect&) {}
void CHotAppStrip::Clear() {}
void CHotAppStrip::RefreshStates(bool) {}
bool CHotAppStrip::RefreshIcon(const std::string&) { return false; }
void CHotAppStrip::SetProgress(const std::string&, int) {}
