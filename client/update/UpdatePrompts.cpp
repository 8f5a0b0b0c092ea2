#include "client/update/UpdatePrompts.h"

#include "client/update/UpdateCheck.h"

void HandleUpdateCheckResult(int code, bool userRequested, IUpdatePrompts& prompts,
                             const std::function<LaunchResult()>& launch) {
  using namespace update_texts;
  if (code == kUpdateSameVersion) {
    if (userRequested) prompts.ShowInformation(kUpToDate);
    return;
  }
  if (code == kUpdateNewMajor || code == kUpdateNewerRelease) {
    if (!prompts.Confirm(kPromptCaption, kPromptText)) {
      prompts.ShowInformation(kDeclined);
      return;
    }
    LaunchResult result = launch();
    if (result == LaunchResult::Started) {
      prompts.ExitForUpdate();
      return;
    }
    // The launcher's own message comes first, then the failed update.
    if (result == LaunchResult::Missing) prompts.ShowInformation(kFileMissing);
    prompts.ShowInformation(kUpdateFailed);
    return;
  }
  if (userRequested) prompts.ShowInformation(kNoInformation);
}
