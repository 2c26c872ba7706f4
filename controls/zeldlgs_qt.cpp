// The volumes of the drive box, as Qt's storage information finds them.
#include <QStorageInfo>

#include "controls/zeldlgs.h"

std::vector<std::string> MountedVolumeRoots() {
  std::vector<std::string> roots;
  for (const QStorageInfo& v : QStorageInfo::mountedVolumes())
    if (v.isValid() && v.isReady()) roots.push_back(v.rootPath().toStdString());
  return roots;
}
