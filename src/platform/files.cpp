// files.cpp - folders and text files.
//
// Text files hold one byte per character. Readers end a line at LF or at a
// zero byte (the rest of such a line is skipped) and drop CR bytes; writers end
// every line with CR LF. Saving whole files goes through a temporary file in
// the same folder and a rename, so a failed save never damages the old file.
#include "platform/internal.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
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

// Reads the lines of a text file. An empty file gives no lines at all; a last
// line without LF still counts; "a\n" is one line.
bool ReadTextLines(const std::string& path, std::vector<std::string>& lines) {
    lines.clear();
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        SetPlatformError("cannot read " + path + ": " + std::strerror(errno));
        return false;
    }
    std::string line;
    bool pending = false;  // bytes (or a cut) seen since the last LF
    bool skipping = false; // after a zero byte, until LF
    char buffer[8192];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) {
        for (size_t i = 0; i < n; i++) {
            char c = buffer[i];
            if (c == '\n') {
                lines.push_back(line);
                line.clear();
                pending = skipping = false;
                continue;
            }
            pending = true;
            if (skipping || c == '\r') continue;
            if (c == '\0') {
                skipping = true;
                continue;
            }
            line += c;
        }
    }
    bool failed = std::ferror(f) != 0;
    std::fclose(f);
    if (failed) {
        lines.clear();
        SetPlatformError("error while reading " + path);
        return false;
    }
    if (pending) lines.push_back(line);
    return true;
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
    mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
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

// Reads a whole file; a file larger than maxBytes is refused unread.
bool ReadFileBytes(const std::string& path, std::string& bytes, size_t maxBytes) {
    bytes.clear();
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        SetPlatformError("cannot read " + path + ": " + std::strerror(errno));
        return false;
    }
    char buffer[65536];
    size_t n;
    bool tooBig = false;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) {
        if (bytes.size() + n > maxBytes) {
            tooBig = true;
            break;
        }
        bytes.append(buffer, n);
    }
    bool failed = std::ferror(f) != 0;
    std::fclose(f);
    if (tooBig || failed) {
        bytes.clear();
        SetPlatformError(tooBig ? path + " is too large" : "error while reading " + path);
        return false;
    }
    return true;
}

// The plain files of a folder by name, sorted.
std::vector<std::string> ListFiles(const std::string& folder) {
    std::vector<std::string> names;
    DIR* dir = opendir(folder.c_str());
    if (!dir) return names;
    while (dirent* entry = readdir(dir)) {
        std::string name = entry->d_name;
        struct stat info;
        if (stat((folder + "/" + name).c_str(), &info) == 0 && S_ISREG(info.st_mode))
            names.push_back(name);
    }
    closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

// Opens (and empties) a text file for appending lines; 0 on failure.
int CreateTextFile(const std::string& path) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
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
