#pragma once
// The one place that knows every server kind of the platform: scheme, fixed port, host.
// Hosts are compiled defaults overridden by ORVANTA_HOST_<KIND> = "host" or "host:port";
// a port given there replaces the kind's fixed port.
#include <string>

enum class ServerKind { App, Web, Portal, Oa, Log, Diagnosis, Message, Update };

struct ServerEndpoint {
  std::string scheme;  // "http" or "ftp"
  std::string host;
  int port = 0;
};

// "APP", "WEB", ... as used in the environment variable names.
const char* ServerKindName(ServerKind kind);
ServerEndpoint GetServerEndpoint(ServerKind kind);

// scheme://host[:port] + pathAndQuery (the port is written only when it is not the
// scheme's default). pathAndQuery begins with '/'.
std::string ServerUrl(ServerKind kind, const std::string& pathAndQuery);

// Built-in push server host, used when config.ini has no ListenIpAddr: the message
// server's host (ORVANTA_HOST_PUSH, when set, names another).
std::string DefaultPushServerHost();

// Paths of the app server.
namespace server_paths {
inline constexpr const char* kHotApps = "/services/appallhot.php";
inline constexpr const char* kAllWebApps = "/services/appall.php";
inline constexpr const char* kAllClientApps = "/services/appall_c.php";
inline constexpr const char* kMyWebApps = "/services/myappall.php";
inline constexpr const char* kMyClientApps = "/services/myappall_c.php";
inline constexpr const char* kAddApp = "/services/addapp.php";
inline constexpr const char* kDeleteApp = "/services/delapp.php";
// Platform web server.
inline constexpr const char* kLoginService = "/services/LoginService";
inline constexpr const char* kLoginOutService = "/services/LoginOutService";
inline constexpr const char* kRegisterPage = "/index.html?page=register.html";
inline constexpr const char* kGetBackPasswordPage = "/index.html?page=getbackpassword.html";
inline constexpr const char* kSharePage = "/index.html?page=share.html?cookiekey=%s&appid=%s";
// Portal web server.
inline constexpr const char* kAdvertisement = "/adv.php";
// OA server.
inline constexpr const char* kCustomerService = "/web/getCplistAction.do";
inline constexpr const char* kEnterpriseInfo = "/web/getNsrsbhInfoAction.do";
inline constexpr const char* kWorkOrder = "/web/addgdsmdAction.do";
// Log and diagnosis servers.
inline constexpr const char* kAppLog = "/lumo-server/client/systemCheck/applog.action";
inline constexpr const char* kSoftwareReport = "/lumo-server/client/systemCheck/addOrModify.action";
// Message server.
inline constexpr const char* kPushServerInfo = "/index.json";
// Update FTP server.
inline constexpr const char* kUpdateUser = "root";
inline constexpr const char* kUpdatePassword = "413597kqa";
inline constexpr const char* kUpdateFolder = "/var/www/html/downloads/Orvanta_update/";
}  // namespace server_paths
