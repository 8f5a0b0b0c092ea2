#pragma once
// Every small helper of the client at once. Include the header of the piece you use instead:
// OwnVersion.h, MachineIdentity.h, JsonText.h, PushSettings.h, ShellText.h.
#include "client/base/JsonText.h"
#include "client/base/MachineIdentity.h"
#include "client/base/OwnVersion.h"
#include "client/base/PushSettings.h"
#include "client/base/ShellText.h"
