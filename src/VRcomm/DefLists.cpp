#include "VRcomm/DefLists.h"
