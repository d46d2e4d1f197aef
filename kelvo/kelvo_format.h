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

// What makes a format faulty, whatever its arguments.
enum FmtFault : uint8_t { kFmtFaultInvalid, kFmtFaultUnfinished, kFmtFaultUnclosedSet };

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

    // A capacity must follow a string, character or set destination.
    constexpr void take_capacity()
    {
        if (next == count || (use[next] & kUseCapacity) == 0)
            kelvo_format_error_missing_capacity_after_s_c_or_set();
        take(kUseCapacity);
    }

    constexpr void fault(FmtFault f) const
    {
        if (f == kFmtFaultInvalid)
            kelvo_format_error_invalid_specification();
        else if (f == kFmtFaultUnfinished)
            kelvo_format_error_format_ends_inside_a_conversion();
        else if (f == kFmtFaultUnclosedSet)
            kelvo_format_error_set_without_closing_bracket();
    }

    constexpr void finish() const
    {
        if (next != count)
            kelvo_format_error_too_many_arguments();
    }
};

// The same walk run on a format at run time (the fuzz targets and tests
// hold the engines to it): counts what a format takes, notes any fault.
struct FmtVerdict {
    size_t taken = 0;
    bool faulty = false;

    constexpr void take(uint32_t) { ++taken; }
    constexpr void take_capacity() { ++taken; }
    constexpr void fault(FmtFault) { faulty = true; }
};

// --- formatted output: the engine's state machine --------------------------

enum FmtState : uint8_t { kFmtText, kFmtPercent, kFmtFlag, kFmtWidth, kFmtDot, kFmtPrecision,
                          kFmtSize, kFmtType, kFmtInvalid };

inline constexpr int kFmtClasses = 9;
inline constexpr int kFmtStates = 9;

// Next state by class of the character read (row) and current state
// (column); the engine's lookup table is built from it.
inline constexpr uint8_t kFmtTransitions[kFmtClasses][kFmtStates] = {
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
    constexpr const char *kMembers[kFmtClasses] = {
        "", "%", ".", "*", "0", "123456789", " #+-", "ILNZhjlqtwz", "CEFGSXcdefgiopsux",
    };
    for (int cls = 1; cls < kFmtClasses; ++cls)
        if (fmt_in(c, kMembers[cls]))
            return cls;
    return 0;
}

// Size letters of one output conversion, as bits; the engine keeps them
// among its conversion flags.
inline constexpr uint32_t kSizeLong = 0x10;        // l
inline constexpr uint32_t kSizeShort = 0x20;       // h
inline constexpr uint32_t kSizeLongDouble = 0x400; // L, q
inline constexpr uint32_t kSizeWide = 0x800;       // w
inline constexpr uint32_t kSizeLongLong = 0x1000;  // ll, L, q
inline constexpr uint32_t kSizeChar = 0x2000;      // hh
inline constexpr uint32_t kSizeInt64 = 0x8000;     // I, I64
inline constexpr uint32_t kSizePtrdiff = 0x10000;  // t
inline constexpr uint32_t kSizeSizeT = 0x20000;    // z
inline constexpr uint32_t kSizeIntmax = 0x40000;   // j

// "l", "ll" and "I64" outrank "hh" and "h", which outrank "t", "z" and "j".
constexpr bool print_integer_64(uint32_t size)
{
    return (size & (kSizeInt64 | kSizeLongLong | kSizeLong)) != 0 ||
           ((size & (kSizeChar | kSizeShort)) == 0 && (size & (kSizePtrdiff | kSizeSizeT | kSizeIntmax)) != 0);
}

// The size of a "C" or "S" conversion: wide unless "h", "l" or "w" says
// otherwise.
constexpr uint32_t print_capital_size(uint32_t size)
{
    return (size & (kSizeWide | kSizeShort | kSizeLong)) != 0 ? size : size | kSizeWide;
}

constexpr uint32_t print_conversion_use(char c, uint32_t size)
{
    if (c == 'C' || c == 'S')
        size = print_capital_size(size);
    switch (c) {
    case 'c':
    case 'C':
        return kUseInt32;  // a character or a wide character, both int-sized
    case 's':
    case 'S':
        return (size & (kSizeWide | kSizeLong)) ? kUseWideText : kUseText;
    case 'e': case 'E': case 'f': case 'F': case 'g': case 'G':
        return (size & kSizeLongDouble) ? kUseLongDouble : kUseDouble;
    case 'p':
        return kUsePointer;
    default:  // d i o u x X
        return print_integer_64(size) ? kUseInt64 : kUseInt32;
    }
}

// Reads the size letter f[-1] into `size`; returns where the format
// continues, and turns the state to text when an "I" is ordinary text.
constexpr const char *print_size(char c, const char *f, uint32_t &size, uint8_t &state)
{
    switch (c) {
    case 'h':
        size |= *f == 'h' ? kSizeChar : kSizeShort;
        break;
    case 'l':
        if (*f == 'l') {
            size |= kSizeLongLong;
            ++f;
        } else {
            size |= kSizeLong;
        }
        break;
    case 'L':
    case 'q':
        size |= kSizeLongLong | kSizeLongDouble;
        break;
    case 'j': size |= kSizeIntmax; break;
    case 't': size |= kSizePtrdiff; break;
    case 'z': size |= kSizeSizeT; break;
    case 'w': size |= kSizeWide; break;
    case 'I':
        size |= kSizeInt64;
        if (f[0] == '6' && f[1] == '4') {
            f += 2;
        } else if (f[0] == '3' && f[1] == '2') {
            size &= ~kSizeInt64;
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

// Walks an output format the way the engine does, telling `sink` what each
// conversion takes and where the format is faulty.
template <class Sink>
constexpr void walk_print(const char *f, Sink &sink)
{
    uint8_t state = kFmtText;
    uint32_t size = 0;
    while (*f != '\0') {
        const char c = *f++;
        state = kFmtTransitions[fmt_class(c)][state];
        switch (state) {
        case kFmtPercent:
            size = 0;
            break;
        case kFmtWidth:
        case kFmtPrecision:
            if (c == '*')
                sink.take(kUseInt32);
            break;
        case kFmtSize:
            f = print_size(c, f, size, state);
            break;
        case kFmtType:
            sink.take(print_conversion_use(c, size));
            break;
        case kFmtInvalid:
            sink.fault(kFmtFaultInvalid);
            return;
        default:
            break;
        }
    }
    if (state != kFmtText && state != kFmtType)
        sink.fault(kFmtFaultUnfinished);
}

constexpr void check_print(const char *f, FmtArgs args)
{
    if (f == nullptr)
        return;  // refused at run time
    walk_print(f, args);
    args.finish();
}

// --- formatted input --------------------------------------------------------

// One conversion of an input format: its flags, width, size and letter.
struct ScanSpec {
    int64_t width = 0;
    bool widthGiven = false;
    int sizeCode = 1;  // 1 int, 0 short, below 0 char, 2 and more 64 bits
    int mods64 = 0;
    int wide = 0;      // negative narrow, 0 by letter, positive wide
    bool suppress = false;
    char letter = '\0';
};

// Parses a conversion after its "%"; returns where the format continues.
template <class Ch>
constexpr const Ch *scan_spec(const Ch *f, ScanSpec &sp)
{
    for (;;) {
        const char c = static_cast<char>(*f);
        if (c >= '0' && c <= '9') {
            sp.width = sp.width > 0x7FFFFFFF ? sp.width : sp.width * 10 + (c - '0');
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
            } else if (f[1] != '\0' && fmt_in(static_cast<char>(f[1]), "dioxX")) {
                ++sp.mods64;
                ++f;
            } else {
                // A lone "I" reads a 64-bit integer; what follows it is a
                // directive of its own.
                ++sp.mods64;
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

// The conversion letter in lower case, or '\0' when the "%" sequence is a
// character the input must match (it takes no argument).
constexpr char scan_letter(const ScanSpec &sp)
{
    char lc = sp.letter;
    if (lc >= 'A' && lc <= 'Z')
        lc = static_cast<char>(lc | 0x20);
    return lc != '\0' && fmt_in(lc, "cs[duopxiefgn") ? lc : '\0';
}

// A string, character or set conversion stores wide characters.
constexpr bool scan_wide(const ScanSpec &sp)
{
    return sp.wide > 0 || (sp.wide == 0 && (sp.letter == 'S' || sp.letter == 'C'));
}

// Bytes of an integer destination: 1, 2, 4 or 8.
constexpr int scan_integer_bytes(const ScanSpec &sp)
{
    if (sp.mods64 > 0 || sp.sizeCode >= 2)
        return 8;
    return sp.sizeCode == 1 ? 4 : sp.sizeCode == 0 ? 2 : 1;
}

constexpr uint32_t scan_integer_use(const ScanSpec &sp)
{
    switch (scan_integer_bytes(sp)) {
    case 1: return kUseDest8;
    case 2: return kUseDest16;
    case 4: return kUseDest32;
    default: return kUseDest64;
    }
}

// Parses a "[" set after its "[", handing each member character to `add`
// and noting a leading "^"; false when the format ends first. A "]" first
// is a member; "a-z" is a range when a < z, else the members z and "-".
template <class Ch, class Add>
constexpr bool scan_set(const Ch *&f, Add add, bool *complement)
{
    *complement = *f == '^';
    if (*complement)
        ++f;
    int prev = -1;  // a character that may start a range
    if (*f == ']') {
        add(static_cast<unsigned>(']'));
        prev = ']';
        ++f;
    }
    while (*f != ']') {
        if (*f == '\0')
            return false;
        const auto c = static_cast<unsigned char>(*f);
        if (c == '-' && prev >= 0 && f[1] != ']' && f[1] != '\0') {
            const auto hi = static_cast<unsigned char>(f[1]);
            if (static_cast<unsigned>(prev) < hi) {
                for (unsigned m = static_cast<unsigned>(prev); m <= hi; ++m)
                    add(m);
            } else {
                add(static_cast<unsigned>(hi));
                add(static_cast<unsigned>('-'));
            }
            prev = -1;
            f += 2;
            continue;
        }
        add(static_cast<unsigned>(c));
        prev = c;
        ++f;
    }
    ++f;
    return true;
}

// Walks an input format the way the engine does, telling `sink` what each
// conversion takes and where the format is faulty.
template <class Sink>
constexpr void walk_scan(const char *f, Sink &sink)
{
    while (*f != '\0') {
        if (*f != '%') {
            ++f;
            continue;
        }
        ScanSpec sp;
        f = scan_spec(f + 1, sp);
        const char lc = scan_letter(sp);
        if (lc == '\0')
            continue;
        bool complement = false;
        if (lc == '[' && !scan_set(f, [](unsigned) {}, &complement))
            sink.fault(kFmtFaultUnclosedSet);
        if (sp.suppress)
            continue;
        switch (lc) {
        case 'c':
        case 's':
        case '[':
            sink.take(scan_wide(sp) ? kUseDestWide : kUseDestChars);
            sink.take_capacity();
            break;
        case 'p':
            sink.take(kUseDestPtr);
            break;
        case 'e':
        case 'f':
        case 'g':
            sink.take(sp.sizeCode >= 3   ? kUseDestLongDouble
                      : sp.sizeCode == 2 ? kUseDestDouble
                                         : kUseDestFloat);
            break;
        default:  // d u o x i n
            sink.take(scan_integer_use(sp));
            break;
        }
    }
}

constexpr void check_scan(const char *f, FmtArgs args)
{
    if (f == nullptr)
        return;  // refused at run time
    walk_scan(f, args);
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
