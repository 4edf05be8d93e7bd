// Writing output files so that nothing but a whole file ever stands under its name, and nothing
// but a file is ever replaced. The bytes go to a temporary file in the folder of the target
// ("." + name + ".tmp-PID-N", its name shortened with a hash when the whole would not fit a
// file name), renamed over the target when complete. Only a new name or a regular file is
// written: a directory, device, named pipe or socket under the name is refused, since a rename
// would put a file in its place. A symbolic link that leads to a regular file keeps the link: the
// file it leads to is written (its folder holds the temporary file). No Qt: the command-line tool
// and the viewer write through it with their own messages around its reasons.
//
// The temporary files being written are listed in a fixed table that a handler of SIGINT,
// SIGTERM and SIGHUP removes before the signal takes its course, and a later run removes what a
// process killed outright (SIGKILL, a crash) left behind: RemoveStaleTempFiles.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kavlo {

// What stands under a name that is to be written.
enum class WriteTarget {
    New,      // nothing
    Regular,  // a regular file, or a link to one
    Refused,  // anything else, or a link to anything else or to nothing
};
// Looks at `path` without following it further than a symbolic link's end: `writePath` is the
// file to write (`path`, or the file a link leads to); `reason` says why a target is refused, or
// why it cannot be looked at (the system's reason: a folder that does not exist, no access).
WriteTarget CheckWriteTarget(const std::string& path, std::string& writePath, std::string& reason);

// The temporary name of the `n`th file that process `pid` writes as `path`: in the same folder,
// never longer than a file name may be.
std::string TempNameFor(const std::string& path, long pid, uint64_t n);

// Removes the temporary files that processes no longer running left for these targets in their
// folders (a run killed before it could tidy up). Those of running processes stay. Returns how
// many were removed.
int RemoveStaleTempFiles(const std::vector<std::string>& targets);

// One file written under a temporary name and renamed to its target by Commit. Unbuffered: a
// write the system cuts short (a full disk, a file size limit) fails at once. Destroyed
// uncommitted, the temporary file is removed.
class SafeFile {
public:
    SafeFile() = default;
    SafeFile(const SafeFile&) = delete;
    SafeFile& operator=(const SafeFile&) = delete;
    ~SafeFile();

    // Creates the temporary file for `path`; false with the reason when the target is refused
    // or the file cannot be made.
    bool Open(const std::string& path, std::string& reason);
    bool Write(const void* data, size_t size, std::string& reason);
    // Renames the whole file to its target. `replace`: a regular file there is replaced (keeping
    // its permissions); otherwise an existing name is kept and `*exists` set. `sync`: the data
    // reach the disk before the rename.
    bool Commit(bool replace, bool sync, std::string& reason, bool* exists = nullptr);
    // Removes the temporary file.
    void Discard();

private:
    int fd_ = -1;
    int slot_ = -1;  // its row in the table the signal handler clears, -1: none
    std::string target_, temp_;
};

// A whole file at once: Open, Write, Commit.
bool WriteFileSafely(const std::string& path, const void* data, size_t size, bool replace,
                     bool sync, std::string& reason, bool* exists = nullptr);

}  // namespace kavlo
