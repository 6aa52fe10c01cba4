// CString formatting. The C runtime's wide printf does not widen "%S" through the ANSI
// code page, so 8-bit arguments are widened here with MultiByteToWideChar(CP_ACP).
#include "afxwin.h"
#include <cstdarg>
#include <cstdio>
#include <cwchar>
#include <vector>

namespace {

std::wstring WidenAnsi(const char* psz)
{
    if (!psz) return L"(null)";
    int nBytes = static_cast<int>(strlen(psz));
    if (nBytes == 0) return std::wstring();
    int nChars = MultiByteToWideChar(CP_ACP, 0, psz, nBytes, nullptr, 0);
    if (nChars <= 0) return std::wstring();
    std::wstring out(static_cast<size_t>(nChars), L'\0');
    MultiByteToWideChar(CP_ACP, 0, psz, nBytes, &out[0], nChars);
    return out;
}

// Applies width, precision and the '-' flag of a string conversion.
std::wstring PadString(std::wstring text, const std::wstring& flags, int width, int precision)
{
    if (precision >= 0 && static_cast<size_t>(precision) < text.size()) text.resize(static_cast<size_t>(precision));
    if (width > 0 && static_cast<size_t>(width) > text.size()) {
        std::wstring pad(static_cast<size_t>(width) - text.size(), L' ');
        text = flags.find(L'-') != std::wstring::npos ? text + pad : pad + text;
    }
    return text;
}

template <typename T>
std::wstring FormatOne(const std::wstring& conversion, T value)
{
    std::vector<wchar_t> buf(64);
    for (;;) {
        int n = _snwprintf(buf.data(), buf.size(), conversion.c_str(), value);
        if (n >= 0 && static_cast<size_t>(n) < buf.size()) return std::wstring(buf.data(), static_cast<size_t>(n));
        buf.resize(buf.size() * 4);
        if (buf.size() > (1u << 20)) return std::wstring();
    }
}

int ReadNumber(LPCWSTR& p, va_list& args)
{
    if (*p == L'*') { ++p; return va_arg(args, int); }
    int n = 0;
    while (*p >= L'0' && *p <= L'9') n = n * 10 + (*p++ - L'0');
    return n;
}

} // namespace

void CString::Format(LPCWSTR pszFormat, ...)
{
    va_list args;
    va_start(args, pszFormat);
    FormatV(pszFormat, args);
    va_end(args);
}

void CString::FormatV(LPCWSTR pszFormat, va_list argsIn)
{
    va_list args;
    va_copy(args, argsIn);
    std::wstring out;
    for (LPCWSTR p = pszFormat ? pszFormat : L""; *p; ) {
        if (*p != L'%') { out += *p++; continue; }
        LPCWSTR start = p++;
        if (*p == L'%') { out += L'%'; ++p; continue; }
        std::wstring flags;
        while (*p && wcschr(L"-+ #0", *p)) flags += *p++;
        bool hasWidth = (*p == L'*' || (*p >= L'0' && *p <= L'9'));
        int width = hasWidth ? ReadNumber(p, args) : 0;
        int precision = -1;
        if (*p == L'.') { ++p; precision = ReadNumber(p, args); }
        std::wstring length;
        while (*p && wcschr(L"hlLqjzt", *p)) length += *p++;
        if (*p == L'I' && p[1] == L'6' && p[2] == L'4') { length = L"ll"; p += 3; }
        wchar_t conv = *p ? *p++ : L'\0';
        std::wstring conversion = L"%" + flags;
        if (hasWidth) conversion += std::to_wstring(width);
        if (precision >= 0) conversion += L"." + std::to_wstring(precision);
        switch (conv) {
        case L's':
            if (length == L"h") out += PadString(WidenAnsi(va_arg(args, const char*)), flags, width, precision);
            else { const wchar_t* s = va_arg(args, const wchar_t*); out += PadString(s ? s : L"(null)", flags, width, precision); }
            break;
        case L'S':
            if (length == L"l" || length == L"w") { const wchar_t* s = va_arg(args, const wchar_t*); out += PadString(s ? s : L"(null)", flags, width, precision); }
            else out += PadString(WidenAnsi(va_arg(args, const char*)), flags, width, precision);
            break;
        case L'c': case L'C':
            out += PadString(std::wstring(1, static_cast<wchar_t>(va_arg(args, int))), flags, width, -1);
            break;
        case L'd': case L'i': case L'u': case L'x': case L'X': case L'o':
            if (length == L"ll" || length == L"q" || length == L"j")
                out += FormatOne(conversion + L"ll" + conv, va_arg(args, long long));
            else if (length == L"z" || length == L"t")
                out += FormatOne(conversion + L"ll" + conv, static_cast<long long>(va_arg(args, size_t)));
            else
                out += FormatOne(conversion + conv, va_arg(args, int));
            break;
        case L'f': case L'F': case L'e': case L'E': case L'g': case L'G':
            out += FormatOne(conversion + conv, va_arg(args, double));
            break;
        case L'p':
            out += FormatOne(std::wstring(L"%p"), va_arg(args, void*));
            break;
        default:
            out.append(start, p);   // unknown conversion: keep it as written
            break;
        }
    }
    va_end(args);
    m_str.swap(out);
}
