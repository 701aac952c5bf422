#include "system/standardstreams.h"

#include <cerrno>
#include <initializer_list>

#include <fcntl.h>
#include <unistd.h>

namespace zq4 {

void ReserveStandardStreams() {
    for (const int stream : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
        if (::fcntl(stream, F_GETFD) != -1 || errno != EBADF) {
            continue;
        }
        // The lowest free number, which is this one: the lower ones are open by now. Without
        // /dev/null there is nothing to put there, and the program goes on as it was started.
        const int placeholder = ::open("/dev/null", O_RDONLY);
        if (placeholder >= 0 && placeholder != stream) {
            (void)::dup2(placeholder, stream);
            (void)::close(placeholder);
        }
    }
}

} // namespace zq4
