#include "UpdateSim.h"


