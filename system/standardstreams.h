#pragma once

namespace zq4 {

// Puts /dev/null, open for reading only, in the place of each of standard input, output and error
// that the program was started without (`>&-`). Otherwise the next file or device the program
// opens takes that number and gets what is printed: a path meant for the terminal would go down
// the line. Printing to a stream that was closed still fails, as it would have.
void ReserveStandardStreams();

} // namespace zq4
