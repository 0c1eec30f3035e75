// Helpers several native test files share.
#pragma once

#include <string>

// A text the code under test returns, "(null)" for none, for comparisons
// that print both sides.
inline std::wstring text(wchar_t const* s)
{
    return s == nullptr ? std::wstring(L"(null)") : std::wstring(s);
}
