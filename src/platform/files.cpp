// files.cpp - folders, links and text files.
//
// Text files hold one byte per character. Readers end a line at LF or at a
// zero byte (what follows either starts the next line) and drop CR bytes;
// writers end every line with CR LF. Saving whole files goes through a temporary file in
// the same folder and a rename, so a failed save never damages the old file.
#include "platform/internal.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct FilesState {
    std::vector<FILE*> open; // handle - 1 -> stream, nullptr when closed
};

FilesState files;

// The folder part of a path, "." when it has none.
std::string folderOf(const std::string& path) {
    size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

// The process's file mode mask, read without changing it (umask() would set it
// for every thread at once); 022 when the system does not tell.
mode_t currentUmask() {
    mode_t mask = 022;
    FILE* f = std::fopen("/proc/self/status", "rb");
    if (!f) return mask;
    char line[256];
    while (std::fgets(line, sizeof line, f))
        if (std::strncmp(line, "Umask:", 6) == 0) {
            mask = mode_t(std::strtoul(line + 6, nullptr, 8)) & 0777;
            break;
        }
    std::fclose(f);
    return mask;
}

// True for the six characters mkstemp puts in place of "XXXXXX".
bool mkstempTail(const std::string& name, size_t from) {
    if (name.size() != from + 6) return false;
    for (size_t i = from; i < name.size(); ++i)
        if (!std::isalnum(static_cast<unsigned char>(name[i]))) return false;
    return true;
}

// A temporary left by a killed save: ".save-XXXXXX" or "<picture>.png.XXXXXX".
bool leftoverName(const std::string& name) {
    const std::string save = ".save-", png = ".png.";
    if (name.compare(0, save.size(), save) == 0 && mkstempTail(name, save.size())) return true;
    return name.size() > png.size() + 6 &&
           name.compare(name.size() - 6 - png.size(), png.size(), png) == 0 &&
           mkstempTail(name, name.size() - 6);
}

// Writes all bytes, retrying short writes; false on any error.
bool writeAll(int fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += size_t(n);
    }
    return true;
}

} // namespace

// Makes path the current folder; false when it cannot be entered.
bool ChangeDir(const std::string& path) {
    if (chdir(path.c_str()) == 0) return true;
    SetPlatformError("cannot enter folder " + path + ": " + std::strerror(errno));
    return false;
}

// The current folder as an absolute path.
std::string CurrentDir() {
    std::vector<char> buffer(4096);
    while (!getcwd(buffer.data(), buffer.size())) {
        if (errno != ERANGE) return ".";
        buffer.resize(buffer.size() * 2);
    }
    return buffer.data();
}

// True when something (a file or a folder) exists at path.
bool FileExists(const std::string& path) {
    struct stat info;
    return !path.empty() && stat(path.c_str(), &info) == 0;
}

// Removes a file; false when it was not there or cannot be removed.
bool DeleteFile(const std::string& path) {
    return unlink(path.c_str()) == 0;
}

// Creates a folder; true when the folder exists afterwards.
bool MakeDir(const std::string& path) {
    if (mkdir(path.c_str(), 0755) == 0) return true;
    struct stat info;
    if (errno == EEXIST && stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) return true;
    SetPlatformError("cannot create folder " + path + ": " + std::strerror(errno));
    return false;
}

// Renames a file, replacing what the new name held.
bool RenameFile(const std::string& from, const std::string& to) {
    if (std::rename(from.c_str(), to.c_str()) == 0) return true;
    SetPlatformError("cannot rename " + from + " to " + to + ": " + std::strerror(errno));
    return false;
}

// Opens without blocking (a pipe with no writer would wait forever), checks
// that a regular file was opened, then makes the descriptor blocking again.
int OpenRegularForReading(const std::string& path, std::string& why) {
    int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        why = std::strerror(errno);
        return -1;
    }
    struct stat info;
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(fd);
        why = "not a regular file";
        return -1;
    }
    int flags = fcntl(fd, F_GETFL);
    if (flags >= 0) fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    return fd;
}

// Reads the lines of a text file. A zero byte ends a line just as LF does. An
// empty file gives no lines at all; a last line without an end still counts;
// "a\n" is one line. Past cap bytes the reading
// stops and the line it was in is dropped.
bool ReadTextLines(const std::string& path, std::vector<std::string>& lines, bool* cut,
                   size_t cap) {
    lines.clear();
    if (cut) *cut = false;
    std::string why;
    int fd = OpenRegularForReading(path, why);
    FILE* f = fd >= 0 ? fdopen(fd, "rb") : nullptr;
    if (!f) {
        if (fd >= 0) close(fd);
        SetPlatformError("cannot read " + path + ": " + why);
        return false;
    }
    std::string line;
    bool pending = false; // bytes seen since the last line end
    char buffer[8192];
    size_t total = 0;
    bool over = false; // there was more than cap bytes
    for (;;) {
        size_t want = cap - total < sizeof buffer ? cap - total : sizeof buffer;
        if (want == 0) {
            over = std::fgetc(f) != EOF;
            break;
        }
        size_t n = std::fread(buffer, 1, want, f);
        if (n == 0) break;
        total += n;
        for (size_t i = 0; i < n; i++) {
            char c = buffer[i];
            if (c == '\n' || c == '\0') {
                lines.push_back(line);
                line.clear();
                pending = false;
                continue;
            }
            pending = true;
            if (c != '\r') line += c;
        }
    }
    bool failed = std::ferror(f) != 0;
    std::fclose(f);
    if (failed) {
        lines.clear();
        SetPlatformError("error while reading " + path);
        return false;
    }
    if (over) {
        if (cut) *cut = true;
        pending = false; // the line the cap fell in is not whole
    }
    if (pending) lines.push_back(line);
    return true;
}

// Reads everything the file gives, stopping with an error past cap bytes.
bool ReadFileBytes(const std::string& path, std::string& bytes, size_t cap, bool pipesToo) {
    bytes.clear();
    std::string why;
    int fd = pipesToo ? open(path.c_str(), O_RDONLY | O_CLOEXEC) : OpenRegularForReading(path, why);
    if (fd < 0 && why.empty()) why = std::strerror(errno);
    FILE* f = fd >= 0 ? fdopen(fd, "rb") : nullptr;
    if (!f) {
        if (fd >= 0) why = std::strerror(errno), close(fd);
        SetPlatformError("cannot read " + path + ": " + why);
        return false;
    }
    char buffer[8192];
    size_t n;
    bool tooLong = false;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) {
        if (bytes.size() + n > cap) {
            tooLong = true;
            break;
        }
        bytes.append(buffer, n);
    }
    bool failed = std::ferror(f) != 0;
    std::fclose(f);
    if (tooLong || failed) {
        bytes.clear();
        SetPlatformError("cannot read " + path + ": " +
                         (tooLong ? "larger than " + std::to_string(cap) + " bytes"
                                  : std::string("read error")));
        return false;
    }
    return true;
}

// Only names of exactly the shape mkstemp gives them, and only regular files.
std::vector<std::string> RemoveLeftoverSaves(const std::string& folder) {
    std::vector<std::string> removed;
    DIR* dir = opendir(folder.c_str());
    if (!dir) return removed;
    while (dirent* entry = readdir(dir)) {
        std::string name = entry->d_name;
        if (!leftoverName(name)) continue;
        std::string path = folder + (folder.empty() || folder.back() == '/' ? "" : "/") + name;
        struct stat info;
        if (lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && unlink(path.c_str()) == 0)
            removed.push_back(name);
    }
    closedir(dir);
    return removed;
}

// Saves lines (CR LF each) through a synced temporary file renamed over path.
bool WriteTextLinesAtomic(const std::string& path, const std::vector<std::string>& lines) {
    std::string bytes;
    for (const std::string& line : lines) {
        bytes += line;
        bytes += "\r\n";
    }
    return WriteFileAtomic(path, bytes);
}

// Saves bytes through a synced temporary file renamed over path.
bool WriteFileAtomic(const std::string& path, const std::string& bytes) {
    std::string temp = folderOf(path) + "/.save-XXXXXX";
    int fd = mkstemp(temp.data());
    if (fd < 0) {
        SetPlatformError("cannot save " + path + ": " + std::strerror(errno));
        return false;
    }
    // mkstemp makes the file private; saved files are ordinary ones.
    fchmod(fd, 0666 & ~currentUmask());
    bool ok = writeAll(fd, bytes) && fsync(fd) == 0;
    int err = errno;
    if (close(fd) != 0 && ok) {
        ok = false;
        err = errno;
    }
    if (ok && std::rename(temp.c_str(), path.c_str()) != 0) {
        ok = false;
        err = errno;
    }
    if (!ok) {
        unlink(temp.c_str());
        SetPlatformError("cannot save " + path + ": " + std::strerror(err));
        return false;
    }
    // Make the rename itself durable.
    int dir = open(folderOf(path).c_str(), O_RDONLY | O_DIRECTORY);
    if (dir >= 0) {
        fsync(dir);
        close(dir);
    }
    return true;
}

// The plain files of a folder by name, sorted.
std::vector<std::string> ListFiles(const std::string& folder) {
    std::vector<std::string> names;
    for (std::string& name : FolderEntries(folder)) {
        struct stat info;
        if (stat((folder + "/" + name).c_str(), &info) == 0 && S_ISREG(info.st_mode))
            names.push_back(std::move(name));
    }
    return names;
}

// Opens (and empties) a text file for appending lines; 0 on failure.
// A symbolic link planted in its place is refused (O_NOFOLLOW), and so is a
// pipe or device: the log must not be written into some other file.
int CreateTextFile(const std::string& path) {
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd < 0) {
        int err = errno;
        SetPlatformError("cannot create " + path + ": " +
                         (err == ELOOP   ? std::string("it is a symbolic link")
                          : err == ENXIO ? std::string("not a regular file")
                                         : std::string(std::strerror(err))));
        return 0;
    }
    struct stat info;
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || ftruncate(fd, 0) != 0) {
        close(fd);
        SetPlatformError("cannot create " + path + ": not a regular file");
        return 0;
    }
    int flags = fcntl(fd, F_GETFL);
    if (flags >= 0) fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    FILE* f = fdopen(fd, "wb");
    if (!f) {
        close(fd);
        SetPlatformError("cannot create " + path + ": " + std::strerror(errno));
        return 0;
    }
    for (size_t i = 0; i < files.open.size(); i++) {
        if (!files.open[i]) {
            files.open[i] = f;
            return int(i) + 1;
        }
    }
    files.open.push_back(f);
    return int(files.open.size());
}

// The stream behind a handle, nullptr for 0, unknown or closed handles.
static FILE* streamOf(int file) {
    if (file <= 0 || size_t(file) > files.open.size()) return nullptr;
    return files.open[size_t(file) - 1];
}

// Appends one line with CR LF and pushes it to disk at once.
void WriteTextLine(int file, const std::string& line) {
    FILE* f = streamOf(file);
    if (!f) return;
    std::fwrite(line.data(), 1, line.size(), f);
    std::fwrite("\r\n", 1, 2, f);
    std::fflush(f);
}

// Closes a text file opened with CreateTextFile.
void CloseTextFile(int file) {
    FILE* f = streamOf(file);
    if (!f) return;
    std::fclose(f);
    files.open[size_t(file) - 1] = nullptr;
}

// True when path is a folder (a link to a folder counts).
bool IsFolder(const std::string& path) {
    struct stat info;
    return !path.empty() && stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// True when this process may create files in the folder at path.
bool FolderWritable(const std::string& path) {
    return IsFolder(path) && access(path.c_str(), W_OK | X_OK) == 0;
}

// The names in a folder, sorted, without "." and ".."; empty when it cannot be read.
std::vector<std::string> FolderEntries(const std::string& path) {
    std::vector<std::string> names;
    DIR* dir = opendir(path.c_str());
    if (!dir) {
        SetPlatformError("cannot list folder " + path + ": " + std::strerror(errno));
        return names;
    }
    while (dirent* entry = readdir(dir)) {
        std::string name = entry->d_name;
        if (name != "." && name != "..") names.push_back(name);
    }
    closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

// True when path itself is a folder: a symbolic link to one does not count.
bool IsRealFolder(const std::string& path) {
    struct stat info;
    return !path.empty() && lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// Takes the lock file at path for the rest of the run (the system drops it
// when the process ends, however it ends). A link in its place is refused.
LockResult LockForRun(const std::string& path) {
    int fd = open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd < 0) {
        SetPlatformError("cannot create " + path + ": " + std::strerror(errno));
        return LockResult::Unavailable;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) == 0) return LockResult::Taken; // kept open on purpose
    int err = errno;
    close(fd);
    SetPlatformError("cannot lock " + path + ": " + std::strerror(err));
    return err == EWOULDBLOCK ? LockResult::Held : LockResult::Unavailable;
}

// The home folder of the account running the program, from the system's user
// table; "" when it has none.
std::string AccountHomeDir() {
    std::vector<char> buffer(16384);
    passwd entry;
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found ||
        !found->pw_dir)
        return "";
    return found->pw_dir;
}

// Makes path a symbolic link to target; false when path is taken or cannot be made.
bool MakeLink(const std::string& target, const std::string& path) {
    if (symlink(target.c_str(), path.c_str()) == 0) return true;
    SetPlatformError("cannot link " + path + " to " + target + ": " + std::strerror(errno));
    return false;
}

// Where the symbolic link at path points; "" when path is no link.
std::string LinkTarget(const std::string& path) {
    std::vector<char> buffer(4096);
    for (;;) {
        ssize_t n = readlink(path.c_str(), buffer.data(), buffer.size());
        if (n < 0) return "";
        if (size_t(n) < buffer.size()) return std::string(buffer.data(), size_t(n));
        buffer.resize(buffer.size() * 2);
    }
}

// The value of an environment variable; "" when it is not set.
std::string EnvironmentValue(const std::string& name) {
    const char* value = std::getenv(name.c_str());
    return value ? value : "";
}

// 1 for a name ending in ".mp4", 2 for ".webm", 0 for anything else.
int VideoFileKind(const std::string& path) {
    auto endsIn = [&](const std::string& ext) {
        return path.size() > ext.size() &&
               path.compare(path.size() - ext.size(), ext.size(), ext) == 0;
    };
    return endsIn(".mp4") ? 1 : endsIn(".webm") ? 2 : 0;
}
