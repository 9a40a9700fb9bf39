// The search of the data area for lost directories and files.
#include "fat/fat_drive.h"

namespace quorvane {

// Not built yet: the search finds nothing and "Lost" stays as it is.
void TFATdrive::FindLostData() {}

}  // namespace quorvane
