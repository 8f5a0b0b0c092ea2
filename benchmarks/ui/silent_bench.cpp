// The main window against a platform whose every server accepts and never answers, beside
// the same window against servers that refuse at once (the reference):
//   silent_bench [rounds]
// Prints, per case, the median time a page switch takes, the event loop's delay while the
// requests hang (a zero timer posted and timed), the time to open the login dialog and to
// close it with its login in flight, the time from the window manager's close to the end of
// the teardown, and from there to the end of the last core call (the login among them).
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "client/base/UserSession.h"
#include "client/ui/app/CKivoDlg.h"
#include "client/ui/shell/CoreCall.h"
#include "client/ui/shell/MessageBoxes.h"
#include "controls/SkinFonts.h"

namespace {

// Accepts every connection on a loopback port and never answers (or, `refuse`, holds no
// listening socket at all, so connections are refused at once).
class Server {
 public:
  explicit Server(bool refuse) {
    m_fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(m_fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    socklen_t len = sizeof addr;
    getsockname(m_fd, reinterpret_cast<sockaddr*>(&addr), &len);
    m_port = ntohs(addr.sin_port);
    if (refuse) return;  // bound, never listening: connections are refused
    listen(m_fd, 64);
    m_thread = std::thread([this] {
      while (!m_stop) {
        int client = accept(m_fd, nullptr, nullptr);
        if (client < 0) break;
        m_clients.push_back(client);
      }
    });
  }
  ~Server() {
    m_stop = true;
    shutdown(m_fd, SHUT_RDWR);
    close(m_fd);
    if (m_thread.joinable()) m_thread.join();
    for (int c : m_clients) close(c);
  }
  int Port() const { return m_port; }

 private:
  int m_fd = -1;
  int m_port = 0;
  std::atomic<bool> m_stop{false};
  std::vector<int> m_clients;
  std::thread m_thread;
};

double Median(std::vector<double> v) {
  if (v.empty()) return -1;
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

double Ms(const QElapsedTimer& t) { return t.nsecsElapsed() / 1e6; }

// Answers every message box OK, as the user would to go on.
class AnswerOk : public shell::IMessageBoxes {
 public:
  int Answer(CMessageBoxDialog&) override { return 1; }
};

struct Figures {
  double pageSwitch = 0, loopDelay = 0, loginOpen = 0, loginClose = 0, close = 0, callsEnd = 0;
};

Figures Measure(bool silent, int rounds) {
  Server server(!silent);
  const QByteArray host = "127.0.0.1:" + QByteArray::number(server.Port());
  for (const char* kind :
       {"APP", "WEB", "PORTAL", "OA", "LOG", "DIAGNOSIS", "MESSAGE", "UPDATE", "PUSH"})
    qputenv((std::string("ORVANTA_HOST_") + kind).c_str(), host);

  std::vector<double> switches, delays, opens, closes, ends, callEnds;
  for (int r = 0; r < rounds; ++r) {
    UserSession session;
    session.loggedIn = 1;
    session.userName = "demo";
    session.cookieKey = "ck";
    auto window = std::make_unique<CKivoDlg>(session);
    if (!window->OnInitDialog()) {
      std::fprintf(stderr, "the skin is missing beside the benchmark\n");
      std::exit(1);
    }
    window->show();
    for (int page : {1, 2, 3, 4, 0}) {
      QElapsedTimer t;
      t.start();
      window->SwitchToPage(page);
      switches.push_back(Ms(t));
      // The loop's delay: a zero timer posted now, timed until it runs.
      QElapsedTimer d;
      bool ran = false;
      d.start();
      QTimer::singleShot(0, [&] {
        delays.push_back(Ms(d));
        ran = true;
      });
      while (!ran) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    QElapsedTimer login;
    QTimer poll;
    poll.setInterval(1);
    QObject::connect(&poll, &QTimer::timeout, [&] {
      auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
      if (dialog == nullptr || !dialog->isVisible()) return;
      opens.push_back(Ms(login));
      poll.stop();
      dialog->findChild<QPushButton*>("login")->click();
      // Time for a worker to take the login and reach the server before the close.
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
      login.restart();
      dialog->close();
    });
    poll.start();
    login.start();
    window->OpenLoginDialog(false);
    closes.push_back(Ms(login));

    QElapsedTimer end;
    end.start();
    window->close();
    window->Shutdown();
    window.reset();
    ends.push_back(Ms(end));
    // What would keep the process alive: calls still running (bounded by the SOAP deadline).
    end.restart();
    while (shell::CallsInFlight() > 0 && end.elapsed() < 70000)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    callEnds.push_back(Ms(end));
  }
  return {Median(switches), Median(delays), Median(opens),
          Median(closes),   Median(ends),   Median(callEnds)};
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  InstallFontSubstitutions();
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  AnswerOk answers;
  shell::SetMessageBoxes(&answers);

  // A registry and runtime folder of its own; the skin is beside the executable.
  QTemporaryDir dir;
  QDir().mkpath(dir.path() + "/registry");
  qputenv("ORVANTA_REGISTRY_ROOT", (dir.path() + "/registry").toUtf8());
  qputenv("XDG_RUNTIME_DIR", dir.path().toUtf8());

  const Figures refused = Measure(false, rounds);
  const Figures silent = Measure(true, rounds);
  std::printf(
      "The window with every server silent, beside servers refusing at once (median of "
      "%d rounds, ms)\n",
      rounds);
  std::printf("  %-38s %10s %10s   target\n", "", "silent", "refused");
  auto row = [](const char* what, double s, double r, const char* target) {
    std::printf("  %-38s %10.2f %10.2f   %s\n", what, s, r, target);
  };
  row("page switch", silent.pageSwitch, refused.pageSwitch, "< 100");
  row("event loop delay after a switch", silent.loopDelay, refused.loopDelay, "< 100");
  row("login dialog shown", silent.loginOpen, refused.loginOpen, "< 100");
  row("login dialog closed, login in flight", silent.loginClose, refused.loginClose, "< 100");
  row("window-manager close to the end", silent.close, refused.close, "< 1000");
  row("then to the end of the last call", silent.callsEnd, refused.callsEnd, "< 1000");
  return 0;
}
