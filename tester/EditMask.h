// Masked edits: a QLineEdit with a Qt input mask translated from an edit mask in the notation of
// the window class library ("\0xAA;1;_": mask, literals kept in the text, blank character).
#pragma once

#include <QString>
#include <string_view>

namespace tester {

// The Qt input mask for an edit mask: required and optional digits, letters, letters or digits
// and any characters keep their meaning, '\' escapes a literal, case switches carry over, and
// the blank character ('_' when none is given) stays the blank. The text always keeps the
// literals; a mask without them is not used by the programs.
QString TranslateEditMask(std::string_view editMask);

}  // namespace tester
