#pragma once

// Child processes for the POSIX tests: a body run apart, or as an ordinary user.
#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

#include <exception>
#include <functional>
#include <optional>
#include <string>

namespace pelorin::test {

// Runs body in a child process once prepare has succeeded there, and returns what body returned;
// nullopt when prepare failed or the child did not end normally.
inline std::optional<std::string> RunInChild(const std::function<bool()>& prepare,
                                             const std::function<std::string()>& body) {
    int channel[2];
    if (pipe(channel) != 0) return std::nullopt;
    pid_t child = fork();
    if (child == 0) {
        close(channel[0]);
        if (!prepare()) _exit(3);
        std::string result;
        try {
            result = body();
        } catch (const std::exception& error) {
            result = std::string("exception: ") + error.what();
        }
        [[maybe_unused]] ssize_t ignored = write(channel[1], result.data(), result.size());
        _exit(0);
    }
    close(channel[1]);
    std::string result;
    char buffer[4096];
    for (ssize_t got; (got = read(channel[0], buffer, sizeof buffer)) > 0;) result.append(buffer, static_cast<size_t>(got));
    close(channel[0]);
    int status = 0;
    waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return std::nullopt;
    return result;
}

// Runs body in a child process as the unprivileged user nobody, or as this user when it is not root:
// root writes wherever permission bits say otherwise. nullopt when root cannot drop its privileges here.
inline std::optional<std::string> RunAsOrdinaryUser(const std::function<std::string()>& body) {
    return RunInChild(
        [] {
            constexpr uid_t NOBODY = 65534;
            return getuid() != 0 || (setgroups(0, nullptr) == 0 && setgid(NOBODY) == 0 && setuid(NOBODY) == 0);
        },
        body);
}

}  // namespace pelorin::test
