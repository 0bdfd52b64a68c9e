#include "VRcomm/FieldTypes.h"
