// Compile-time checks of the formats of sprintf_s, snprintf_s and sscanf_s.
//
// A format written as a literal is parsed while the call compiles, by the
// same rules the engines use, and each conversion is matched against the
// type of the argument it will take: a 64-bit value under "%d", an 8-bit
// destination under "%u", a string conversion of sscanf_s without its
// capacity, too few or too many arguments, or a conversion the engine
// always refuses do not compile. The failing check names the fault: the
// compiler reports a call to one of the kelvo_format_error_* functions.
//
// A format built at run time is passed as kelvo_runtime_fmt(text): its
// conversions are not checked, and the call says so where it is written.
#ifndef QUORBIX_KELVO_KELVO_FORMAT_H
#define QUORBIX_KELVO_KELVO_FORMAT_H

#include <cstddef>
#include <cstdint>
#include <type_traits>

// Reached only while a format is checked at compile time; never defined.
void kelvo_format_error_invalid_specification();
void kelvo_format_error_format_ends_inside_a_conversion();
void kelvo_format_error_argument_does_not_match_conversion();
void kelvo_format_error_missing_argument();
void kelvo_format_error_too_many_arguments();
void kelvo_format_error_missing_capacity_after_s_c_or_set();
void kelvo_format_error_set_without_closing_bracket();

// A format text whose conversions are not checked.
struct KelvoRuntimeFmt {
    const char *text;
};

constexpr KelvoRuntimeFmt kelvo_runtime_fmt(const char *text)
{
    return KelvoRuntimeFmt{text};
}

namespace kelvo_detail {

// What a conversion takes from the argument list, as bits of a mask; each
// argument type has the mask of what it can stand for.
inline constexpr uint32_t kUseInt32 = 1u << 0;       // print: an int-sized integer (smaller ones arrive as int)
inline constexpr uint32_t kUseInt64 = 1u << 1;       // print: a 64-bit integer
inline constexpr uint32_t kUseDouble = 1u << 2;      // print: double (a float arrives as double)
inline constexpr uint32_t kUseLongDouble = 1u << 3;  // print: long double
inline constexpr uint32_t kUseText = 1u << 4;        // print: a char string
inline constexpr uint32_t kUseWideText = 1u << 5;    // print: a wchar_t string
inline constexpr uint32_t kUsePointer = 1u << 6;     // print: any object pointer
inline constexpr uint32_t kUseDest8 = 1u << 7;       // scan: an integer destination of 1, 2, 4 or 8 bytes
inline constexpr uint32_t kUseDest16 = 1u << 8;
inline constexpr uint32_t kUseDest32 = 1u << 9;
inline constexpr uint32_t kUseDest64 = 1u << 10;
inline constexpr uint32_t kUseDestPtr = 1u << 11;    // scan: a pointer destination ("%p")
inline constexpr uint32_t kUseDestFloat = 1u << 12;
inline constexpr uint32_t kUseDestDouble = 1u << 13;
inline constexpr uint32_t kUseDestLongDouble = 1u << 14;
inline constexpr uint32_t kUseDestChars = 1u << 15;  // scan: a char buffer
inline constexpr uint32_t kUseDestWide = 1u << 16;   // scan: a wchar_t buffer
inline constexpr uint32_t kUseCapacity = 1u << 17;   // scan: a buffer's capacity

template <class T>
constexpr bool fmt_integer = (std::is_integral_v<T> && !std::is_same_v<T, bool>) ||
                             (std::is_enum_v<T> && std::is_convertible_v<T, int>);

template <class T>
constexpr uint32_t print_use()
{
    using U = std::remove_cv_t<T>;
    if constexpr (std::is_same_v<U, bool>)
        return kUseInt32;
    else if constexpr (fmt_integer<U>)
        return sizeof(U) <= 4 ? kUseInt32 : kUseInt64;
    else if constexpr (std::is_same_v<U, float> || std::is_same_v<U, double>)
        return kUseDouble;
    else if constexpr (std::is_same_v<U, long double>)
        return kUseLongDouble;
    else if constexpr (std::is_null_pointer_v<U>)
        return kUseText | kUseWideText | kUsePointer;
    else if constexpr (std::is_pointer_v<U>) {
        using P = std::remove_cv_t<std::remove_pointer_t<U>>;
        if constexpr (std::is_function_v<P>)
            return 0;
        else if constexpr (std::is_same_v<P, char>)
            return kUseText | kUsePointer;
        else if constexpr (std::is_same_v<P, wchar_t>)
            return kUseWideText | kUsePointer;
        else
            return kUsePointer;
    } else {
        return 0;
    }
}

template <class T>
constexpr uint32_t scan_use()
{
    using U = std::remove_cv_t<T>;
    if constexpr (fmt_integer<U>)
        return kUseCapacity;
    else if constexpr (std::is_null_pointer_v<U>)
        return ~kUseCapacity;  // the engine reports a NULL destination
    else if constexpr (std::is_pointer_v<U>) {
        using P = std::remove_pointer_t<U>;
        if constexpr (std::is_const_v<P> || std::is_volatile_v<P> || std::is_function_v<P>)
            return 0;
        else if constexpr (std::is_same_v<P, float>)
            return kUseDestFloat;
        else if constexpr (std::is_same_v<P, double>)
            return kUseDestDouble;
        else if constexpr (std::is_same_v<P, long double>)
            return kUseDestLongDouble;
        else if constexpr (std::is_pointer_v<P>)
            return sizeof(P) == 8 ? kUseDestPtr : 0;
        else if constexpr (std::is_integral_v<P> && !std::is_same_v<P, bool>) {
            uint32_t use = sizeof(P) == 1   ? kUseDest8
                           : sizeof(P) == 2 ? kUseDest16
                           : sizeof(P) == 4 ? kUseDest32
                           : sizeof(P) == 8 ? kUseDest64 | kUseDestPtr
                                            : 0;
            if (std::is_same_v<P, char>)
                use |= kUseDestChars;
            if (std::is_same_v<P, wchar_t>)
                use |= kUseDestWide;
            return use;
        } else {
            return 0;
        }
    } else {
        return 0;
    }
}

// The argument list of a call as the checks see it.
struct FmtArgs {
    const uint32_t *use;
    size_t count;
    size_t next;

    constexpr void take(uint32_t wanted)
    {
        if (next == count)
            kelvo_format_error_missing_argument();
        if ((use[next] & wanted) == 0)
            kelvo_format_error_argument_does_not_match_conversion();
        ++next;
    }

    constexpr void finish() const
    {
        if (next != count)
            kelvo_format_error_too_many_arguments();
    }
};

// --- formatted output: the engine's state machine --------------------------

enum FmtState : uint8_t { kFmtText, kFmtPercent, kFmtFlag, kFmtWidth, kFmtDot, kFmtPrecision,
                          kFmtSize, kFmtType, kFmtInvalid };

// Next state by class of the character read (row) and current state
// (column); kelvo_print.cpp checks that its table is this one.
inline constexpr uint8_t kFmtTransitions[9][9] = {
    {0, 8, 8, 8, 8, 8, 8, 0, 0},  // other
    {1, 0, 8, 8, 8, 8, 8, 1, 0},  // %
    {0, 4, 4, 4, 8, 8, 8, 0, 0},  // .
    {0, 3, 3, 8, 5, 8, 8, 0, 0},  // *
    {0, 2, 2, 3, 5, 5, 8, 0, 0},  // 0
    {0, 3, 3, 3, 5, 5, 8, 0, 0},  // 1 to 9
    {0, 2, 2, 2, 8, 8, 8, 0, 0},  // flag
    {0, 6, 6, 6, 6, 6, 6, 0, 0},  // size letter
    {0, 7, 7, 7, 7, 7, 7, 0, 0},  // conversion letter
};

constexpr bool fmt_in(char c, const char *set)
{
    for (; *set != '\0'; ++set)
        if (*set == c)
            return true;
    return false;
}

constexpr int fmt_class(char c)
{
    constexpr const char *kMembers[9] = {
        "", "%", ".", "*", "0", "123456789", " #+-", "ILNZhjlqtwz", "CEFGSXcdefgiopsux",
    };
    for (int cls = 1; cls < 9; ++cls)
        if (fmt_in(c, kMembers[cls]))
            return cls;
    return 0;
}

// Size letters of one output conversion, as the engine keeps them.
struct PrintSize {
    bool h = false, hh = false, l = false, ll = false, longDouble = false, wide = false;
    bool i64 = false, t = false, z = false, j = false;
};

constexpr uint32_t print_integer_use(const PrintSize &s)
{
    if (s.i64 || s.ll || s.l)
        return kUseInt64;
    if (s.hh || s.h)
        return kUseInt32;
    return (s.t || s.z || s.j) ? kUseInt64 : kUseInt32;
}

constexpr uint32_t print_conversion_use(char c, const PrintSize &s)
{
    switch (c) {
    case 'c':
        return kUseInt32;  // a character or a wide character, both int-sized
    case 'C':
        return kUseInt32;
    case 's':
        return (s.wide || s.l) ? kUseWideText : kUseText;
    case 'S':
        return (s.h && !s.wide && !s.l) ? kUseText : kUseWideText;
    case 'e': case 'E': case 'f': case 'F': case 'g': case 'G':
        return s.longDouble ? kUseLongDouble : kUseDouble;
    case 'p':
        return kUsePointer;
    default:  // d i o u x X
        return print_integer_use(s);
    }
}

// Reads the size letter f[-1]; returns where the format continues, and
// turns the state to text when an "I" is ordinary text.
constexpr const char *print_size(char c, const char *f, PrintSize &s, uint8_t &state)
{
    switch (c) {
    case 'h':
        (*f == 'h' ? s.hh : s.h) = true;
        break;
    case 'l':
        if (*f == 'l') {
            s.ll = true;
            ++f;
        } else {
            s.l = true;
        }
        break;
    case 'L':
    case 'q':
        s.ll = s.longDouble = true;
        break;
    case 'j': s.j = true; break;
    case 't': s.t = true; break;
    case 'z': s.z = true; break;
    case 'w': s.wide = true; break;
    case 'I':
        s.i64 = true;
        if (f[0] == '6' && f[1] == '4') {
            f += 2;
        } else if (f[0] == '3' && f[1] == '2') {
            s.i64 = false;
            f += 2;
        } else if (f[0] == '\0' || !fmt_in(f[0], "diouxX")) {
            state = kFmtText;
        }
        break;
    default:  // N, Z
        break;
    }
    return f;
}

constexpr void check_print(const char *f, FmtArgs args)
{
    if (f == nullptr)
        return;  // refused at run time
    uint8_t state = kFmtText;
    PrintSize size;
    while (*f != '\0') {
        const char c = *f++;
        state = kFmtTransitions[fmt_class(c)][state];
        switch (state) {
        case kFmtPercent:
            size = PrintSize{};
            break;
        case kFmtWidth:
        case kFmtPrecision:
            if (c == '*')
                args.take(kUseInt32);
            break;
        case kFmtSize:
            f = print_size(c, f, size, state);
            break;
        case kFmtType:
            if (c == 'C' && !size.wide && !size.h && !size.l)
                size.wide = true;
            args.take(print_conversion_use(c, size));
            break;
        case kFmtInvalid:
            kelvo_format_error_invalid_specification();
            return;
        default:
            break;
        }
    }
    if (state != kFmtText && state != kFmtType)
        kelvo_format_error_format_ends_inside_a_conversion();
    args.finish();
}

// --- formatted input --------------------------------------------------------

struct ScanSpec {
    bool widthGiven = false;
    int sizeCode = 1;  // 1 int, 0 short, below 0 char, 2 and more 64 bits
    int mods64 = 0;
    int wide = 0;      // negative narrow, 0 by letter, positive wide
    bool suppress = false;
    char letter = '\0';
};

// Parses a conversion after its "%", as the engine does.
constexpr const char *scan_spec(const char *f, ScanSpec &sp)
{
    for (;;) {
        const char c = *f;
        if (c >= '0' && c <= '9') {
            sp.widthGiven = true;
            ++f;
            continue;
        }
        switch (c) {
        case '*': sp.suppress = true; ++f; continue;
        case 'F':
        case 'N': ++f; continue;
        case 'h': --sp.sizeCode; --sp.wide; ++f; continue;
        case 'l':
            if (f[1] == 'l') {
                sp.sizeCode += 2;
                ++sp.mods64;
                f += 2;
            } else {
                ++sp.sizeCode;
                ++sp.mods64;
                ++sp.wide;
                ++f;
            }
            continue;
        case 'w': ++sp.wide; ++f; continue;
        case 'L': case 'q': case 't': case 'z': case 'j':
            sp.sizeCode += 2;
            ++sp.mods64;
            ++f;
            continue;
        case 'I':
            if (f[1] == '6' && f[2] == '4') {
                ++sp.mods64;
                f += 3;
            } else if (f[1] == '3' && f[2] == '2') {
                f += 3;
            } else if (f[1] != '\0' && fmt_in(f[1], "dioxX")) {
                ++sp.mods64;
                ++f;
            } else {
                ++sp.mods64;  // a lone "I": a 64-bit "i"
                sp.letter = 'i';
                return f + 1;
            }
            continue;
        default:
            sp.letter = c;
            return c == '\0' ? f : f + 1;
        }
    }
}

constexpr uint32_t scan_integer_use(const ScanSpec &sp)
{
    if (sp.mods64 > 0 || sp.sizeCode >= 2)
        return kUseDest64;
    return sp.sizeCode == 1 ? kUseDest32 : sp.sizeCode == 0 ? kUseDest16 : kUseDest8;
}

// Skips a "[" set after its "["; false when the format ends first.
constexpr bool scan_set(const char *&f)
{
    if (*f == '^')
        ++f;
    if (*f == ']')
        ++f;
    while (*f != ']') {
        if (*f == '\0')
            return false;
        ++f;
    }
    ++f;
    return true;
}

constexpr void check_scan(const char *f, FmtArgs args)
{
    if (f == nullptr)
        return;  // refused at run time
    while (*f != '\0') {
        if (*f != '%') {
            ++f;
            continue;
        }
        ScanSpec sp;
        f = scan_spec(f + 1, sp);
        char lc = sp.letter;
        if (lc >= 'A' && lc <= 'Z')
            lc = static_cast<char>(lc | 0x20);
        if (lc == '\0' || !fmt_in(lc, "cs[duopxiefgn"))
            continue;  // a character the input must match; takes no argument
        const bool wide = sp.wide > 0 || (sp.wide == 0 && (sp.letter == 'S' || sp.letter == 'C'));
        if (lc == '[' && !scan_set(f))
            kelvo_format_error_set_without_closing_bracket();
        if (sp.suppress)
            continue;
        switch (lc) {
        case 'c':
        case 's':
        case '[':
            args.take(wide ? kUseDestWide : kUseDestChars);
            if (args.next == args.count || (args.use[args.next] & kUseCapacity) == 0)
                kelvo_format_error_missing_capacity_after_s_c_or_set();
            args.take(kUseCapacity);
            break;
        case 'p':
            args.take(kUseDestPtr);
            break;
        case 'e':
        case 'f':
        case 'g':
            args.take(sp.sizeCode >= 3   ? kUseDestLongDouble
                      : sp.sizeCode == 2 ? kUseDestDouble
                                         : kUseDestFloat);
            break;
        default:  // d u o x i n
            args.take(scan_integer_use(sp));
            break;
        }
    }
    args.finish();
}

} // namespace kelvo_detail

// The format argument of sprintf_s and snprintf_s: a literal checked
// against the argument types, or kelvo_runtime_fmt(text).
template <class... Args>
struct KelvoPrintFormat {
    const char *text;

    consteval KelvoPrintFormat(const char *format) : text(format)
    {
        constexpr uint32_t use[] = {kelvo_detail::print_use<Args>()..., 0};
        kelvo_detail::check_print(format, {use, sizeof...(Args), 0});
    }
    constexpr KelvoPrintFormat(KelvoRuntimeFmt format) : text(format.text) {}
};

// The format argument of sscanf_s, likewise.
template <class... Args>
struct KelvoScanFormat {
    const char *text;

    consteval KelvoScanFormat(const char *format) : text(format)
    {
        constexpr uint32_t use[] = {kelvo_detail::scan_use<Args>()..., 0};
        kelvo_detail::check_scan(format, {use, sizeof...(Args), 0});
    }
    constexpr KelvoScanFormat(KelvoRuntimeFmt format) : text(format.text) {}
};

#endif
