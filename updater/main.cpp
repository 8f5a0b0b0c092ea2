// Orvlift: replaces the installed client with the release published on the update server.
// Started by the client without arguments; reads neither its command line nor the client's
// settings (see COrvliftApp.h for its environment).
#include "updater/COrvliftApp.h"

int main(int argc, char** argv) {
  COrvliftApp app;
  return app.Run(argc, argv);
}
