#pragma once
// The stand-in update FTP server, started by a test in a folder of its own.
#include <memory>
#include <string>

#include "tests/support/TestSupport.h"

class UpdateSim {
 public:
  explicit UpdateSim(const std::string& version = "1.0.0.0") {
    m_process = std::make_unique<orvtest::ChildProcess>(std::vector<std::string>{
        ORV_PYTHON, std::string(ORV_SOURCE_DIR) + "/tools/platform-sim/sim_update.py", "--root",
        m_root.Path(), "--version", version});
    m_host = m_process->ReadAssignments({"ORVANTA_HOST_UPDATE"})["ORVANTA_HOST_UPDATE"];
  }
  // "127.0.0.1:<port>", empty when the server did not start.
  const std::string& Host() const { return m_host; }
  const std::string& Root() const { return m_root.Path(); }
  std::string Folder() const { return m_root.Path() + "/var/www/html/downloads/Orvanta_update"; }

 private:
  orvtest::TempDir m_root;
  std::unique_ptr<orvtest::ChildProcess> m_process;
  std::string m_host;
};

using orvtest::ClosedLoopbackPort;
