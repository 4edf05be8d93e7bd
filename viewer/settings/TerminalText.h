// Text for a terminal: a message that names a file must not let the file's name drive the
// terminal (escape sequences that move the cursor, retitle the window or hide text).
#pragma once

#include <string>
#include <string_view>

namespace kavlo {

// `bytes` with every byte that could control a terminal written as \xNN (two upper-case hex
// digits): the C0 controls but the line feed, DEL, the C1 controls (U+0080 to U+009F) and every
// byte that is not part of valid UTF-8. Printable UTF-8 text stays as it is.
std::string TerminalSafeText(std::string_view bytes);

}  // namespace kavlo
