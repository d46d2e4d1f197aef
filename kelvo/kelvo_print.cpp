// Formatted output: a bounded output stream, a table-driven format parser
// and its own integer, character and string conversions. Floating
// conversions are done by the C library from a conversion format rebuilt from
// the parsed flags and precision, into a buffer of known size.
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <memory>
#include <new>

#include "kelvo/kelvo.h"
#include "kelvo/kelvo_internal.h"

using namespace kelvo_detail;

namespace {

// Conversion flags; the size letters are the format grammar's bits.
enum : uint32_t {
    kPlus = 0x1,
    kBlank = 0x2,
    kLeft = 0x4,
    kZero = 0x8,
    kLong = kSizeLong,
    kShort = kSizeShort,
    kSigned = 0x40,
    kAlt = 0x80,
    kNegative = 0x100,
    kForceOctal = 0x200,
    kLongDouble = kSizeLongDouble,
    kWide = kSizeWide,
    kLongLong = kSizeLongLong,
    kChar = kSizeChar,
    kPointer = 0x4000,
    kInt64 = kSizeInt64,
};

// Any of these makes an integer argument 64 bits wide.
constexpr uint32_t kWideInteger = kSizeIntmax | kInt64 | kLongLong | kSizePtrdiff | kSizeSizeT | kLong;

// The grammar's classes and transitions packed for the engine: the class of
// character c (0x20 to 0x7A) in the low half of entry c - 0x20, the next
// state of class x from state y in the high half of entry x * 9 + y.
constexpr std::array<unsigned char, 91> build_lookup()
{
    std::array<unsigned char, 91> t{};
    for (int ch = 0x20; ch <= 0x7A; ++ch)
        t[static_cast<size_t>(ch - 0x20)] = static_cast<unsigned char>(fmt_class(static_cast<char>(ch)));
    for (int c = 0; c < kFmtClasses; ++c)
        for (int s = 0; s < kFmtStates; ++s)
            t[static_cast<size_t>(c * kFmtStates + s)] |= static_cast<unsigned char>(kFmtTransitions[c][s] << 4);
    return t;
}

constexpr std::array<unsigned char, 91> kLookup = build_lookup();

inline uint8_t next_state(char ch, uint8_t state)
{
    const unsigned c = static_cast<unsigned char>(ch);
    const unsigned cls = (c >= 0x20 && c <= 0x7A) ? (kLookup[c - 0x20] & 0xF) : 0;
    return kLookup[cls * kFmtStates + state] >> 4;
}

constexpr const char kLowerDigits[] = "0123456789abcdefx";
constexpr const char kUpperDigits[] = "0123456789ABCDEFX";
constexpr const char STR_NULL_STRING[] = "(null)";
constexpr const wchar_t WSTR_NULL_STRING[] = L"(null)";

constexpr int kWorkSize = 512;
constexpr int kMaxPrecision = 512;
constexpr int32_t kWidthDigitLimit = 21474836;
// Beyond this precision every further digit of a double or long double is
// a zero: the exact decimal expansion of the smallest long double has
// fewer fractional digits, and no exponent reaches it.
constexpr int kExactDigits = 16500;

// One conversion being formatted.
struct Conv {
    uint32_t flags = 0;
    int32_t width = 0;
    int32_t precision = -1;
    char prefix[2] = {};
    int prefixLen = 0;
    const char *text = nullptr;
    int64_t textLen = 0;
    const wchar_t *wideText = nullptr;  // set instead of text for %ls
    int64_t zeros = 0;                  // zeros after text (huge float precisions)
    const char *tail = nullptr;         // then this (a float's exponent)
    int64_t tailLen = 0;
    bool noOutput = false;

    // A "%" starts a new conversion. Field by field: building a whole new
    // record and copying it costs more than the rest of a short conversion.
    void start()
    {
        flags = 0;
        width = 0;
        precision = -1;
        prefixLen = 0;
        wideText = nullptr;
        zeros = 0;
        tailLen = 0;
        noOutput = false;
    }
};

// Stream writes: inline while the room is ample, else byte by byte.
inline void put_char(char ch, KelvoOutStream *s, int *counter)
{
    if (s->count > 1) {
        *s->cur++ = ch;
        --s->count;
        ++*counter;
    } else {
        write_char_a(ch, s, counter);
    }
}

inline void put_string(const char *str, int64_t n, KelvoOutStream *s, int *counter)
{
    if (n <= 0)
        return;
    if (s->count > n) {
        if (n < 12) {
            for (int64_t i = 0; i < n; ++i)
                s->cur[i] = str[i];
        } else {
            std::memcpy(s->cur, str, static_cast<size_t>(n));
        }
        s->cur += n;
        s->count -= static_cast<int32_t>(n);
        *counter += static_cast<int>(n);
    } else {
        write_string_a(str, n, s, counter);
    }
}

inline void put_multi(char ch, int64_t n, KelvoOutStream *s, int *counter)
{
    if (n <= 0)
        return;
    if (s->count > n) {
        std::memset(s->cur, ch, static_cast<size_t>(n));
        s->cur += n;
        s->count -= static_cast<int32_t>(n);
        *counter += static_cast<int>(n);
    } else {
        write_multi_char_a(ch, n, s, counter);
    }
}

// Fetches an integer argument at the size the flags give; makes it
// non-negative and marks negative values. "l", "ll" and "I64" outrank
// "hh" and "h", which outrank "t", "z" and "j".
uint64_t fetch_integer(uint32_t *flags, va_list &args)
{
    const bool sgn = (*flags & kSigned) != 0;
    const bool wide = print_integer_64(*flags);
    int64_t s = 0;
    uint64_t v = 0;
    if (*flags & kPointer) {
        v = reinterpret_cast<uintptr_t>(va_arg(args, void *));
    } else if (wide) {
        if (sgn)
            s = va_arg(args, long long);
        else
            v = va_arg(args, unsigned long long);
    } else if (*flags & kChar) {
        const int x = va_arg(args, int);
        if (sgn)
            s = static_cast<signed char>(x);
        else
            v = static_cast<unsigned char>(x);
    } else if (*flags & kShort) {
        const int x = va_arg(args, int);
        if (sgn)
            s = static_cast<short>(x);
        else
            v = static_cast<unsigned short>(x);
    } else if (sgn) {
        s = va_arg(args, int);
    } else {
        v = va_arg(args, unsigned int);
    }
    if (sgn) {
        v = static_cast<uint64_t>(s);
        if (s < 0) {
            v = 0 - v;
            *flags |= kNegative;
        }
    }
    if (!(*flags & kWideInteger))
        v &= 0xFFFFFFFFU;
    return v;
}

void convert_integer(char letter, Conv &cv, va_list &args, char *work)
{
    unsigned radix = 10;
    const char *digits = kLowerDigits;
    switch (letter) {
    case 'd':
    case 'i':
        cv.flags |= kSigned;
        break;
    case 'o':
        radix = 8;
        if (cv.flags & kAlt)
            cv.flags |= kForceOctal;
        break;
    case 'p':
        cv.flags |= kInt64 | kPointer | kAlt;
        cv.precision = 0;
        radix = 16;
        break;
    case 'x':
        radix = 16;
        break;
    case 'X':
        radix = 16;
        digits = kUpperDigits;
        break;
    default:  // 'u'
        break;
    }
    if (radix == 16 && (cv.flags & kAlt)) {
        cv.prefix[0] = '0';
        cv.prefix[1] = digits[16];
        cv.prefixLen = 2;
    }
    uint64_t v = fetch_integer(&cv.flags, args);

    int precision = 1;
    if (cv.precision >= 0) {
        precision = cv.precision > kMaxPrecision ? kMaxPrecision : cv.precision;
        if (!(cv.flags & kPointer))
            cv.flags &= ~kZero;
    }

    char *const end = work + kWorkSize;
    char *p = end;
    if (v == 0) {
        cv.prefixLen = 0;
    } else if (radix == 10) {
        for (; v > 0xFFFFFFFFU; v /= 10)
            *--p = static_cast<char>('0' + v % 10);
        for (auto w = static_cast<uint32_t>(v); w != 0; w /= 10)
            *--p = static_cast<char>('0' + w % 10);
    } else if (radix == 16) {
        for (; v != 0; v >>= 4)
            *--p = digits[v & 15];
    } else {
        for (; v != 0; v >>= 3)
            *--p = static_cast<char>('0' + (v & 7));
    }
    while (end - p < precision)
        *--p = '0';
    if ((cv.flags & kForceOctal) && (p == end || *p != '0') && p > work)
        *--p = '0';
    cv.text = p;
    cv.textLen = end - p;
}

void convert_char(char letter, Conv &cv, va_list &args, char *work)
{
    cv.flags &= ~kZero;
    if (letter == 'C')
        cv.flags = print_capital_size(cv.flags);
    if (!(cv.flags & (kWide | kLong))) {
        work[0] = static_cast<char>(va_arg(args, int));
        cv.text = work;
        cv.textLen = 1;
        return;
    }
    const auto wc = static_cast<wchar_t>(va_arg(args, wint_t));
    std::mbstate_t state{};
    const size_t n = std::wcrtomb(work, wc, &state);
    if (n == static_cast<size_t>(-1)) {
        cv.noOutput = true;
        return;
    }
    cv.text = work;
    cv.textLen = static_cast<int64_t>(n);
}

void convert_string(char letter, Conv &cv, va_list &args)
{
    cv.flags &= ~kZero;
    if (letter == 'S')
        cv.flags = print_capital_size(cv.flags);
    const size_t limit = cv.precision < 0 ? kMaxSize : static_cast<size_t>(cv.precision);
    if (!(cv.flags & (kWide | kLong))) {
        const char *s = va_arg(args, const char *);
        if (s == nullptr)
            s = STR_NULL_STRING;
        cv.text = s;
        cv.textLen = static_cast<int64_t>(strnlen(s, limit));
        return;
    }
    const wchar_t *w = va_arg(args, const wchar_t *);
    if (w == nullptr)
        w = WSTR_NULL_STRING;
    cv.wideText = w;
    cv.textLen = static_cast<int64_t>(wcsnlen(w, limit));
}

// The calling thread is in the "C" locale while a scope lives: floats
// always print with ".".
struct CLocaleScope {
    locale_t old = locale_t{};
    CLocaleScope()
    {
        if (const locale_t c = c_locale(); c != locale_t{})
            old = uselocale(c);
    }
    ~CLocaleScope()
    {
        if (old != locale_t{})
            uselocale(old);
    }
    CLocaleScope(const CLocaleScope &) = delete;
    CLocaleScope &operator=(const CLocaleScope &) = delete;
};

// The text of a floating conversion, with a "-" in front when negative and
// no other sign, from the C library, with a conversion format built here from
// the letter, the precision, "#" and the size: never the caller's text.
// Without "#" the C library's float-to-string conversion does it; "#" needs
// its printf family.
int float_digits(char *buf, size_t size, char letter, int precision, bool alt, bool longDouble,
                 double dv, long double lv)
{
    char spec[16];
    char *s = spec;
    *s++ = '%';
    if (alt)
        *s++ = '#';
    *s++ = '.';
    if (alt) {
        *s++ = '*';
        if (longDouble)
            *s++ = 'L';
    } else {
        char digits[12];
        char *d = digits + sizeof digits;
        auto p = static_cast<unsigned>(precision);
        do
            *--d = static_cast<char>('0' + p % 10);
        while ((p /= 10) != 0);
        while (d < digits + sizeof digits)
            *s++ = *d++;
    }
    *s++ = letter;
    *s = '\0';
    // spec is a conversion this engine has just built and parsed.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    if (alt)
        return longDouble ? indirectSprintf(buf, size, spec, precision, lv)
                          : indirectSprintf(buf, size, spec, precision, dv);
#pragma GCC diagnostic pop
    const CLocaleScope scope;
    return longDouble ? strfroml(buf, size, spec, lv) : strfromd(buf, size, spec, dv);
}

// e, E, f, F, g, G. The C library makes the digits into a buffer of known
// size; the sign, the width and the padding are applied by the emission
// like for every other conversion. Precisions beyond the digits a double
// or long double can have are cut for the C library and the missing zeros
// emitted here.
void convert_float(char letter, Conv &cv, va_list &args, char *work, std::unique_ptr<char[]> &heap)
{
    const bool longDouble = (cv.flags & kLongDouble) != 0;
    long double lv = 0;
    double dv = 0;
    if (longDouble)
        lv = va_arg(args, long double);
    else
        dv = va_arg(args, double);

    const char lower = static_cast<char>(letter | 0x20);
    int64_t precision = cv.precision < 0 ? 6 : cv.precision;
    if (precision == 0 && lower == 'g')
        precision = 1;
    if (precision > (longDouble ? 0x7FFFEC93 : 0x7FFFFEA2)) {
        cv.noOutput = true;
        return;
    }
    const int callPrecision = static_cast<int>(precision < kExactDigits ? precision : kExactDigits);

    // The work buffer first; a longer text is made again into a heap
    // block of its exact size.
    const bool alt = (cv.flags & kAlt) != 0;
    char *buf = work;
    const int r = float_digits(work, kWorkSize, letter, callPrecision, alt, longDouble, dv, lv);
    if (r < 0) {
        cv.noOutput = true;
        return;
    }
    if (r >= kWorkSize) {
        const auto size = static_cast<size_t>(r) + 1;
        heap.reset(new (std::nothrow) char[size]);
        buf = heap.get();
        if (buf == nullptr || float_digits(buf, size, letter, callPrecision, alt, longDouble, dv, lv) != r) {
            cv.noOutput = true;
            return;
        }
    }
    const char *text = buf;
    int64_t len = r;
    const char sign = (len > 0 && *text == '-') ? '-'
                      : (cv.flags & kPlus)       ? '+'
                      : (cv.flags & kBlank)      ? ' '
                                                 : '\0';
    if (sign != '\0') {
        cv.prefix[0] = sign;
        cv.prefixLen = 1;
        if (sign == '-')
            ++text, --len;
    }
    const bool finite = len > 0 && *text >= '0' && *text <= '9';  // not inf or nan
    if (!finite)
        cv.flags &= ~kZero;  // inf and nan are padded with blanks
    const int64_t extra = precision - callPrecision;
    if (finite && extra > 0 && (lower != 'g' || alt)) {
        const char *e = std::strpbrk(text, "eE");
        const int64_t head = e == nullptr ? len : e - text;
        cv.zeros = extra;
        cv.tail = text + head;
        cv.tailLen = len - head;
        len = head;
    }
    cv.text = text;
    cv.textLen = len;
}

void emit(Conv &cv, KelvoOutStream *stream, int *counter)
{
    if (cv.flags & kSigned) {
        const char sign = (cv.flags & kNegative) ? '-'
                          : (cv.flags & kPlus)   ? '+'
                          : (cv.flags & kBlank)  ? ' '
                                                 : '\0';
        if (sign != '\0') {
            cv.prefix[0] = sign;
            cv.prefixLen = 1;
        }
    }
    if ((cv.flags & kPointer) && cv.textLen == 0) {
        cv.text = "(nil)";
        cv.textLen = 5;
        cv.flags &= ~kZero;
    }
    const int64_t pad = int64_t{cv.width} - cv.textLen - cv.zeros - cv.tailLen - cv.prefixLen;
    const bool left = (cv.flags & kLeft) != 0;
    const bool zero = (cv.flags & kZero) != 0;
    if (!left && !zero)
        put_multi(' ', pad, stream, counter);
    put_string(cv.prefix, cv.prefixLen, stream, counter);
    if (zero && !left)
        put_multi('0', pad, stream, counter);
    if (cv.wideText != nullptr) {
        for (int64_t i = 0; i < cv.textLen && *counter >= 0; ++i) {
            char mb[MB_LEN_MAX];
            std::mbstate_t state{};
            const size_t n = std::wcrtomb(mb, cv.wideText[i], &state);
            if (n == static_cast<size_t>(-1) || n < 1) {
                *counter = -1;
                return;
            }
            put_string(mb, static_cast<int64_t>(n), stream, counter);
        }
    } else {
        put_string(cv.text, cv.textLen, stream, counter);
        put_multi('0', cv.zeros, stream, counter);
        put_string(cv.tail, cv.tailLen, stream, counter);
    }
    if (left && *counter >= 0)
        put_multi(' ', pad, stream, counter);
}

// A width or precision digit; false when the number would grow too large.
bool add_digit(int32_t *n, char digit, bool continuing)
{
    if (!continuing) {
        *n = digit - '0';
        return true;
    }
    if (*n > kWidthDigitLimit || *n < -kWidthDigitLimit)
        return false;
    *n = *n * 10 + (digit - '0');
    return true;
}

} // namespace

const std::array<unsigned char, 91> kelvo_lookuptable_s = kLookup;

void write_char_a(char ch, KelvoOutStream *stream, int *counter)
{
    if (--stream->count < 0) {
        *counter = -1;
        return;
    }
    *stream->cur++ = ch;
    ++*counter;
}

void write_multi_char_a(char ch, int64_t n, KelvoOutStream *stream, int *counter)
{
    for (; n > 0 && *counter >= 0; --n)
        write_char_a(ch, stream, counter);
}

void write_string_a(const char *str, int64_t n, KelvoOutStream *stream, int *counter)
{
    for (int64_t i = 0; i < n && *counter >= 0; ++i)
        write_char_a(str[i], stream, counter);
}

locale_t kelvo_detail::c_locale()
{
    static const locale_t loc = newlocale(LC_ALL_MASK, "C", locale_t{});
    return loc;
}

int indirectSprintf(char *buffer, size_t size, const char *format, ...)
{
    const CLocaleScope scope;
    va_list ap;
    va_start(ap, format);
    const int r = std::vsnprintf(buffer, size, format, ap);
    va_end(ap);
    return r;
}

int kelvo_output_s(KelvoOutStream *stream, const char *format, va_list ap)
{
    va_list args;
    va_copy(args, ap);
    int counter = 0;
    uint8_t state = kFmtText;
    Conv cv;
    char work[kWorkSize];
    std::unique_ptr<char[]> heap;
    const char *f = format;
    while (*f != '\0' && counter >= 0) {
        // From text or after a conversion, everything up to the next "%"
        // is text: write it in one piece.
        if ((state == kFmtText || state == kFmtType) && *f != '%') {
            const char *e = f;
            while (*e != '\0' && *e != '%')
                ++e;
            put_string(f, e - f, stream, &counter);
            f = e;
            state = kFmtText;
            continue;
        }
        const char ch = *f++;
        const uint8_t prev = state;
        state = next_state(ch, state);
        switch (state) {
        case kFmtText:
            put_char(ch, stream, &counter);
            break;
        case kFmtPercent:
            cv.start();
            break;
        case kFmtFlag:
            cv.flags |= ch == ' ' ? kBlank : ch == '#' ? kAlt : ch == '+' ? kPlus : ch == '-' ? kLeft : kZero;
            break;
        case kFmtWidth:
            if (ch == '*') {
                int w = va_arg(args, int);
                if (w == INT_MIN) {
                    counter = -1;
                    break;
                }
                if (w < 0) {
                    cv.flags |= kLeft;
                    w = -w;
                }
                cv.width = w;
            } else if (!add_digit(&cv.width, ch, prev == kFmtWidth)) {
                counter = -1;
            }
            break;
        case kFmtDot:
            cv.precision = 0;
            break;
        case kFmtPrecision:
            if (ch == '*') {
                const int p = va_arg(args, int);
                cv.precision = p < 0 ? -1 : p;
            } else if (!add_digit(&cv.precision, ch, true)) {
                counter = -1;
            }
            break;
        case kFmtSize:
            f = print_size(ch, f, cv.flags, state);
            if (state == kFmtText)
                put_char('I', stream, &counter);  // an "I" that starts no size
            break;
        case kFmtType:
            switch (ch) {
            case 'c':
            case 'C':
                convert_char(ch, cv, args, work);
                break;
            case 's':
            case 'S':
                convert_string(ch, cv, args);
                break;
            case 'e':
            case 'E':
            case 'f':
            case 'F':
            case 'g':
            case 'G':
                convert_float(ch, cv, args, work, heap);
                break;
            default:
                convert_integer(ch, cv, args, work);
                break;
            }
            if (!cv.noOutput)
                emit(cv, stream, &counter);
            heap.reset();
            break;
        default:  // kFmtInvalid
            va_end(args);
            return -1;
        }
    }
    va_end(args);
    if (counter < 0 || (state != kFmtText && state != kFmtType))
        return -1;
    return counter;
}

int vsnprintf_helper(char *dest, size_t size, const char *format, va_list ap)
{
    KelvoOutStream stream{static_cast<int32_t>(size), dest};
    const int r = kelvo_output_s(&stream, format, ap);
    if (r >= 0 && --stream.count >= 0) {
        *stream.cur = '\0';
        return r;
    }
    if (dest != nullptr)
        dest[size - 1] = '\0';
    return stream.count < 0 ? -2 : -1;
}

int vsprintf_s(char *dest, size_t destMax, const char *format, va_list ap)
{
    if (format == nullptr || dest == nullptr || destMax == 0 || destMax > kMaxSize) {
        if (dest != nullptr && destMax != 0)
            dest[0] = '\0';
        return -1;
    }
    const int r = vsnprintf_helper(dest, destMax, format, ap);
    if (r >= 0)
        return r;
    dest[0] = '\0';
    return -1;
}

int vsnprintf_s(char *dest, size_t destMax, size_t count, const char *format, va_list ap)
{
    if (format == nullptr || dest == nullptr || destMax == 0 || destMax > kMaxSize ||
        (count >= kMaxSize && count != static_cast<size_t>(-1))) {
        if (dest != nullptr && destMax != 0)
            dest[0] = '\0';
        return -1;
    }
    if (destMax > count) {
        const int r = vsnprintf_helper(dest, count + 1, format, ap);
        if (r == -2)
            return -1;  // cut at count, the cut text kept
        if (r < 0) {
            dest[0] = '\0';
            return -1;
        }
        return r;
    }
    const int r = vsnprintf_helper(dest, destMax, format, ap);
    dest[destMax - 1] = '\0';
    if (r < 0) {
        dest[0] = '\0';
        return -1;
    }
    return r;
}

// The formats reaching these two were checked where sprintf_s or snprintf_s
// was called, or marked there as built at run time.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
int kelvo_sprintf_args(char *dest, size_t destMax, const char *format, ...)
{
    va_list ap;
    va_start(ap, format);
    const int r = vsprintf_s(dest, destMax, format, ap);
    va_end(ap);
    return r;
}

int kelvo_snprintf_args(char *dest, size_t destMax, size_t count, const char *format, ...)
{
    va_list ap;
    va_start(ap, format);
    const int r = vsnprintf_s(dest, destMax, count, format, ap);
    va_end(ap);
    return r;
}
#pragma GCC diagnostic pop
