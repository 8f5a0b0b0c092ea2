#pragma once
// The updater's dialog: finds the installed client, downloads the new installer over FTP,
// removes the old release silently, starts the installer and ends the program. Every step
// is a line in the log box (and on standard output).
#include <QDialog>
#include <QString>
#include <optional>
#include <string>

#include "common/download/qt/FCDownloadFileWndBase.h"

class CProgressCtrlX;
class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace orvlift_texts {
inline constexpr const char* kRegistryDamaged = "注册表损坏！";
inline constexpr const char* kConnecting = "正在连接服务器...";
inline constexpr const char* kDownloadStarted = "开始下载更新包，请稍候...";
inline constexpr const char* kDownloadError =
    "下载过程出现问题，可能是以下情况:\r\n"
    "1.网络异常:请检查网络连接或联系网络管理员\r\n"
    "2.本地文件缺失:conf.config文件丢失或位置错误\r\n"
    "3.服务器文件异常\r\n";
inline constexpr const char* kDownloadFinished = "文件下载完成，正在执行系统更新...";
inline constexpr const char* kUninstalled = "旧版本卸载成功!";
inline constexpr const char* kInstallFailed = "启动安装失败!";
}  // namespace orvlift_texts

class COrvliftDlg : public FCDownloadFileWndBase<QDialog> {
 public:
  // autoClose: close the dialog by itself where it would wait for the user to close it.
  explicit COrvliftDlg(bool autoClose = false, QWidget* parent = nullptr);
  ~COrvliftDlg() override;

  // Finds the installation and starts the download. False when the registry lookup failed
  // (the dialog then only shows that).
  bool OnInitDialog();

  void AppendLog(const QString& text);
  QString LogText() const { return m_logText; }
  // True once the new installer has been started (the dialog is then closed).
  bool InstallerStarted() const { return m_installerStarted; }

  std::optional<std::string> FindUninstallValue(const std::string& valueName) const;
  bool RunSilent(const std::string& command) const;

 protected:
  void OnCheckTime(std::string url, std::string lastModified) override;
  void OnStartDownload(std::string url) override;
  void OnDownProgress(std::string url, int64_t done, int64_t total) override;
  void OnDownError(std::string url) override;
  void OnDownFinished(std::string url, const char* data, int64_t size) override;

 private:
  void BuildLayout();
  void ShowAbout();
  // A state in which only the user can go on: with autoClose the dialog closes.
  void WaitForUser();

  bool m_autoClose;
  bool m_installerStarted = false;
  QString m_logText;
  QLabel* m_banner = nullptr;
  QPlainTextEdit* m_logBox = nullptr;
  QLabel* m_status = nullptr;
  CProgressCtrlX* m_progress = nullptr;
  QPushButton* m_upgradeButton = nullptr;
  QPushButton* m_cancelButton = nullptr;

  std::string m_urlBase;      // from conf.config
  std::string m_cacheFolder;  // installed folder + "/UpdateCache/"
  std::string m_installerName = "/Orvanta_setup.exe";
};
