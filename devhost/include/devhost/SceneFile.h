// Scene files: text block files with the host's settings and the applied
// servers' saved blocks. The format is described in docs/scene-format.md.
#ifndef DEVHOST_SCENEFILE_H
#define DEVHOST_SCENEFILE_H

#include <string>

namespace devhost {

class Host;

// Replaces the host's scene with the file's; servers are applied and load
// their blocks. Throws HostError naming the file and the cause.
void readSceneFile(Host &host, const std::string &path);
// Reads scene text (as from a file at path, for relative folders).
void readSceneText(Host &host, const std::string &text, const std::string &path);

void writeSceneFile(Host &host, const std::string &path);
std::string sceneText(Host &host);

} // namespace devhost

#endif
