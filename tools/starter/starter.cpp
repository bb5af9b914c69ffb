// valdora: the player's command, installed as /usr/bin/valdora by the
// launcher package.
//
// The launcher runs in a game directory that belongs to the player and
// replaces its own launcher.exe there, so it cannot run from /usr/lib. This
// keeps that directory, $VALDORA_GAME_DIR or $XDG_DATA_HOME/valdora
// (~/.local/share/valdora): on the first start it creates it and puts the
// packaged launcher.exe and launch_helper.exe there; later starts keep the
// copy unless the package brings a newer launcher than the one there, by the
// version stamped into launcher.exe (a self-updated launcher stays). Then it
// becomes launcher.exe in that directory, with the player's arguments.
//
// It never runs as root, refuses a game directory that other users may
// change, never writes outside the game directory (save its
// missing parents), and puts files in place by rename, so a full or
// unwritable disk never leaves half a launcher behind.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QVariantMap>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "app/launcher_version.h"
#include "platform/file.h"

namespace {

constexpr const char* kLauncher = "launcher.exe";
constexpr const char* kHelper = "launch_helper.exe";
constexpr const char* kScratchPrefix = ".valdora-copy-";

// Closes a descriptor when it goes out of scope.
struct Fd {
    int fd = -1;
    explicit Fd(int f) : fd(f) {}
    ~Fd() {
        if (fd >= 0) ::close(fd);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
};

// The desktop's notification, for a player who started us from a menu and
// sees no terminal. Best effort, a few seconds at most.
void notify(const std::string& text) {
    if (std::getenv("DBUS_SESSION_BUS_ADDRESS") == nullptr && std::getenv("DISPLAY") == nullptr &&
        std::getenv("WAYLAND_DISPLAY") == nullptr) {
        return;
    }
    int argc = 1;
    char name[] = "valdora";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return;
    QDBusMessage call = QDBusMessage::createMethodCall("org.freedesktop.Notifications",
                                                       "/org/freedesktop/Notifications",
                                                       "org.freedesktop.Notifications", "Notify");
    call << QString("Valdora") << 0u << QString("valdora") << QString("Valdora did not start")
         << QString::fromLocal8Bit(text.c_str()) << QStringList() << QVariantMap() << -1;
    bus.call(call, QDBus::Block, 3000);
}

int fail(const std::string& text) {
    std::fprintf(stderr, "valdora: %s\n", text.c_str());
    notify(text);
    return 1;
}

std::string error_text(int error) {
    std::string text = std::strerror(error);
    if (error == ENOSPC || error == EDQUOT) text += "; free some space and start again";
    return text;
}

// The game directory, absolute; "" with `problem` set when there is none.
std::string game_directory(std::string& problem) {
    if (const char* dir = std::getenv("VALDORA_GAME_DIR"); dir != nullptr && *dir != '\0') {
        if (*dir == '/') return dir;
        char* cwd = ::getcwd(nullptr, 0);
        const std::string here = cwd != nullptr ? cwd : "";
        std::free(cwd);
        if (here.empty()) problem = "VALDORA_GAME_DIR is relative and the current folder is gone";
        return here.empty() ? "" : here + "/" + dir;
    }
    // A relative XDG_DATA_HOME is invalid and ignored, as the XDG rules say.
    if (const char* data = std::getenv("XDG_DATA_HOME"); data != nullptr && *data == '/') {
        return std::string(data) + "/valdora";
    }
    const char* home = std::getenv("HOME");
    if (home == nullptr || *home != '/') {
        problem = "HOME is not set; set VALDORA_GAME_DIR to the folder for the game";
        return "";
    }
    return std::string(home) + "/.local/share/valdora";
}

// mkdir -p: missing parents private to the player (as the XDG rules want
// for ~/.local/share), the game directory itself readable by all. 0 or errno.
int make_directories(const std::string& path) {
    for (std::size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        const std::string part = path.substr(0, slash);
        const bool last = slash == std::string::npos;
        if (!part.empty() && part.back() != '/' && ::mkdir(part.c_str(), last ? 0755 : 0700) != 0) {
            struct stat st {};
            if (errno != EEXIST) return errno;
            if (::stat(part.c_str(), &st) != 0) return errno;
            if (!S_ISDIR(st.st_mode)) return ENOTDIR;
        }
        if (last) return 0;
    }
}

// The version stamped into the file `name` under `dir` (numbers of the dotted
// version); none when the file is missing, not a regular file of ours (it
// is then replaced) or carries no stamp.
std::optional<std::vector<unsigned long>> read_stamp(int dir, const char* name, bool mine) {
    Fd file(::openat(dir, name, O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    struct stat st {};
    if (file.fd < 0 || ::fstat(file.fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size == 0 ||
        (mine && st.st_uid != ::getuid())) {
        return std::nullopt;
    }
    const auto size = static_cast<std::size_t>(st.st_size);
    void* map = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, file.fd, 0);
    if (map == MAP_FAILED) return std::nullopt;
    const char* bytes = static_cast<const char*>(map);
    const std::size_t tagSize = sizeof(valdora::kLauncherVersionTag) - 1;
    std::optional<std::vector<unsigned long>> version;
    const void* tag = ::memmem(bytes, size, valdora::kLauncherVersionTag, tagSize);
    if (tag != nullptr) {
        std::vector<unsigned long> numbers{0};
        bool digit = false;
        for (const char* c = static_cast<const char*>(tag) + tagSize; c < bytes + size; ++c) {
            if (*c >= '0' && *c <= '9' && numbers.back() < 100000000) {
                numbers.back() = numbers.back() * 10 + static_cast<unsigned long>(*c - '0');
                digit = true;
            } else if (*c == '.' && digit) {
                numbers.push_back(0);
                digit = false;
            } else {
                if (*c == '\0' && digit) version = numbers;
                break;
            }
        }
    }
    ::munmap(map, size);
    return version;
}

// a < b, comparing the numbers in turn, missing ones as 0 (1.2 == 1.2.0).
bool older(const std::vector<unsigned long>& a, const std::vector<unsigned long>& b) {
    for (std::size_t i = 0; i < std::max(a.size(), b.size()); ++i) {
        const unsigned long x = i < a.size() ? a[i] : 0, y = i < b.size() ? b[i] : 0;
        if (x != y) return x < y;
    }
    return false;
}

// Scratch copies left by a starter that was killed while copying.
void remove_stale_copies(int dir) {
    DIR* listing = ::fdopendir(::dup(dir));
    if (listing == nullptr) return;
    while (const dirent* entry = ::readdir(listing)) {
        const std::string name = entry->d_name;
        if (name.rfind(kScratchPrefix, 0) != 0) continue;
        const long pid = std::atol(name.c_str() + std::strlen(kScratchPrefix));
        if (pid > 0 && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM)) continue;
        ::unlinkat(dir, name.c_str(), 0);
    }
    ::closedir(listing);
}

// Copies `from` to `name` under `dir` through a scratch file renamed over
// it once complete and on disk. 0 or errno.
int install(const std::string& from, int dir, const char* name) {
    Fd source(::open(from.c_str(), O_RDONLY | O_CLOEXEC));
    if (source.fd < 0) return errno;
    const std::string scratch = kScratchPrefix + std::to_string(::getpid()) + "-" + name;
    ::unlinkat(dir, scratch.c_str(), 0);
    int error = 0;
    {
        Fd target(::openat(dir, scratch.c_str(),
                           O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0755));
        if (target.fd < 0) return errno;
        std::vector<char> buffer(1 << 20);
        for (;;) {
            const ssize_t got = ::read(source.fd, buffer.data(), buffer.size());
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) {
                error = got < 0 ? errno : 0;
                break;
            }
            for (ssize_t done = 0; done < got && error == 0;) {
                const ssize_t put =
                    ::write(target.fd, buffer.data() + done, static_cast<std::size_t>(got - done));
                if (put < 0 && errno != EINTR) error = errno;
                done += put > 0 ? put : 0;
            }
            if (error != 0) break;
        }
        // The mode against the umask: the launcher must stay executable.
        if (error == 0 && (::fchmod(target.fd, 0755) != 0 || ::fsync(target.fd) != 0))
            error = errno;
        if (error == 0 && ::close(target.fd) != 0) error = errno;
        target.fd = -1;
    }
    if (error == 0 && ::renameat(dir, scratch.c_str(), dir, name) != 0) error = errno;
    if (error != 0) {
        ::unlinkat(dir, scratch.c_str(), 0);
        return error;
    }
    ::fsync(dir);
    return 0;
}

// Where the package put the launcher: ../lib/valdora beside our own file,
// so that an unpacked package works from wherever it lies.
std::string packaged_directory() {
    std::string self(4096, '\0');
    const ssize_t n = ::readlink("/proc/self/exe", self.data(), self.size() - 1);
    if (n <= 0) return "/usr/lib/valdora";
    self.resize(static_cast<std::size_t>(n));
    self.erase(self.rfind('/'));
    return self.substr(0, self.rfind('/')) + "/lib/valdora";
}

}  // namespace

constexpr const char* kHelp =
    "usage: valdora [-test_launcher] [-servertest] [-limit_rate=RATE] [-max_transfers=N]\n"
    "               [-qmtr284]\n"
    "\n"
    "Starts the Valdora launcher in the player's game directory ($VALDORA_GAME_DIR, else\n"
    "$XDG_DATA_HOME/valdora, ~/.local/share/valdora), after putting the installed launcher\n"
    "there when it is missing or older. The switches go to the launcher as they are\n"
    "(after - or /, in any case):\n"
    "  -test_launcher     leave the launcher's own update alone in this run\n"
    "  -servertest        the servers from serverlist.txt in the game directory;\n"
    "                     nothing is downloaded\n"
    "  -limit_rate=RATE   download at most RATE bytes a second: 512K, 4M, 1G\n"
    "  -max_transfers=N   at most N requests in flight at once, 1 to 16 (default 8)\n"
    "  -qmtr284           check the game, download nothing\n"
    "  -h, --help         this text (not passed on)\n"
    "Exit status: the launcher's: 0 closed, the game started, an update handed over or\n"
    "the player told to reinstall; 255 another launcher of this user runs, or the game\n"
    "could not be started. 1 when valdora could not start the launcher (it says why).\n";

int main(int argc, char** argv) {
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(kHelp, stdout);
        return 0;
    }
    if (::geteuid() == 0 || ::getuid() == 0 || ::geteuid() != ::getuid()) {
        std::fprintf(stderr,
                     "valdora: not starting as root: the game directory and the launcher belong "
                     "to the player; start valdora as the player's own user\n");
        return 1;
    }
    std::string problem;
    std::string game = game_directory(problem);
    if (game.empty()) return fail(problem);
    while (game.size() > 1 && game.back() == '/') game.pop_back();

    struct stat st {};
    if (::stat(game.c_str(), &st) == 0 && !S_ISDIR(st.st_mode)) {
        return fail("the game directory " + game +
                    " is a file, not a folder; set VALDORA_GAME_DIR to a folder");
    }
    if (const int error = make_directories(game); error != 0) {
        return fail("cannot create the game directory " + game + ": " + error_text(error));
    }
    Fd dir(::open(game.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.fd < 0 || ::fstat(dir.fd, &st) != 0) {
        return fail("cannot open the game directory " + game + ": " + error_text(errno));
    }
    if (st.st_uid != ::getuid()) {
        return fail("the game directory " + game +
                    " belongs to another user; refusing to use it (set VALDORA_GAME_DIR to a "
                    "folder of your own)");
    }
    // Another user who may add files there (a sticky folder included) could
    // put a "_launcher.dll" that the launcher would install and run as the
    // player; "base" holds the release the update is checked against.
    for (const std::string& folder : {game, game + "/base"}) {
        if (platform::others_may_write(folder)) {
            return fail("the folder " + folder +
                        " can be changed by other users; refusing to start a launcher from it "
                        "(chmod go-w it)");
        }
    }

    const std::string packaged = packaged_directory();
    Fd packagedDir(::open(packaged.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    const auto shipped = read_stamp(packagedDir.fd, kLauncher, false);
    if (!shipped) {
        return fail("the installed launcher " + packaged + "/" + kLauncher +
                    " is missing or damaged; reinstall the valdora-launcher package");
    }

    remove_stale_copies(dir.fd);
    const auto present = read_stamp(dir.fd, kLauncher, true);
    const bool newLauncher = !present || older(*present, *shipped);
    for (const char* name : {kHelper, kLauncher}) {
        // The helper goes with the launcher it belongs to, and is put back when
        // missing or not the player's own regular file.
        struct stat file {};
        const bool usable = ::fstatat(dir.fd, name, &file, AT_SYMLINK_NOFOLLOW) == 0 &&
                            S_ISREG(file.st_mode) && file.st_uid == ::getuid();
        // A kept copy that lost its execute bit gets it back: it would not start.
        if (!newLauncher && usable &&
            ((file.st_mode & S_IXUSR) != 0 ||
             ::fchmodat(dir.fd, name, (file.st_mode & 07777) | 0700, 0) == 0)) {
            continue;
        }
        if (const int error = install(packaged + "/" + name, dir.fd, name); error != 0) {
            return fail(std::string("cannot put ") + name + " into the game directory " + game +
                        ": " + error_text(error));
        }
    }

    if (::fchdir(dir.fd) != 0) {
        return fail("cannot enter the game directory " + game + ": " + error_text(errno));
    }
    std::vector<char*> arguments{const_cast<char*>("./launcher.exe")};
    arguments.insert(arguments.end(), argv + 1, argv + argc);
    arguments.push_back(nullptr);
    ::execv("./launcher.exe", arguments.data());
    const int error = errno;
    return fail("cannot start " + game + "/launcher.exe: " + error_text(error) +
                (error == EACCES ? " (a folder on a file system mounted noexec? set "
                                   "VALDORA_GAME_DIR to a folder elsewhere)"
                                 : ""));
}
