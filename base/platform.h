#ifndef OXA_BASE_PLATFORM_H
#define OXA_BASE_PLATFORM_H

#include <oxa/base/oxa_export.h>
#include <oxa/base/vstring.h>

// The few services of the operating system that the foundation library needs, behind plain
// functions so that tests can steer them.

// The name of this machine ("localhost" when the system does not give one).
VString VPlatformGetComputerName();

// The folder of the per-machine settings files. In order of precedence: the folder set by
// VPlatformSetSettingsDirectory, the environment variable OXA_SETTINGS_DIR, $HOME/.oxa, and the
// current directory. Never ends in a separator unless it is the root.
VString VPlatformGetSettingsDirectory();
// Overrides the settings folder for this process; null or "" goes back to the environment.
void VPlatformSetSettingsDirectory(const char* path);

// `path` in the form the file system takes: both '/' and '\' separate path parts in the
// toolkit, so on this system every '\' becomes '/'. Null gives "".
VString VPlatformNativePath(const char* path);

// Creates one directory; true when it was created or already exists as a directory.
bool VPlatformCreateDirectory(const char* path);
// True when `path` names an existing directory.
bool VPlatformDirectoryExists(const char* path);
// The current working directory ("" when it cannot be read).
VString VPlatformGetCurrentDirectory();

#endif  // OXA_BASE_PLATFORM_H
