#include "Platform/Workspace.h"

#include "Runtime/Log.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>

extern char** environ;

namespace Platform::Workspace {

namespace {
bool runOpener(const std::string& target) {
    const char* program = "xdg-open";
    char* argv[] = {const_cast<char*>(program), const_cast<char*>(target.c_str()), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    // The opener must not hold on to our standard input.
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    pid_t pid = 0;
    const int error = posix_spawnp(&pid, program, &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0) {
        Runtime::logLine(std::string("Vedevave: cannot open ") + target + ": xdg-open failed to start (" +
                         std::strerror(error) + ")");
        return false;
    }
    std::thread([pid] {
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    }).detach();
    return true;
}
} // namespace

bool openURL(const std::string& url) { return runOpener(url); }

bool openFile(const std::filesystem::path& file) { return runOpener(file.string()); }

bool revealFile(const std::filesystem::path& file) { return runOpener(file.parent_path().string()); }

} // namespace Platform::Workspace
