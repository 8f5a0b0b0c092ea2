// The Orvanta program: the client of the platform. One instance per user session; see
// CKivoApp.h for its start-up and environment.
#include "client/ui/app/CKivoApp.h"

int main(int argc, char** argv) {
  CKivoApp app;
  return app.Run(argc, argv);
}
