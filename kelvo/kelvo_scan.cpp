// Formatted input from a string: its own integer reader, string, character
// and set fields with capacities, floating text gathered by the number
// grammar and then converted under the "C" locale.
#include <climits>
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "kelvo/kelvo.h"
#include "kelvo/kelvo_internal.h"

using namespace kelvo_detail;

namespace {

constexpr int kEnd = -1;   // the input ended
constexpr int kNone = -3;  // the width is used up: nothing more was read

// Character classes of the "C" locale (the program never sets another).
enum : uint8_t { kSpace = 1, kDigit = 2, kXdigit = 4 };

constexpr std::array<uint8_t, 256> build_ctype()
{
    std::array<uint8_t, 256> t{};
    for (int c = 0x09; c <= 0x0D; ++c)
        t[c] = kSpace;
    t[' '] = kSpace;
    for (int c = '0'; c <= '9'; ++c)
        t[c] = kDigit | kXdigit;
    for (int c = 0; c < 6; ++c)
        t['a' + c] = t['A' + c] = kXdigit;
    return t;
}

constexpr std::array<uint8_t, 256> kCtype = build_ctype();

inline bool is_space(int c) { return c >= 0 && (kCtype[c] & kSpace); }
inline bool is_digit(int c) { return c >= 0 && (kCtype[c] & kDigit); }

// Value of c as a digit of base, or -1.
inline int digit_value(int c, unsigned base)
{
    if (c < 0)
        return -1;
    if (base == 16) {
        if (!(kCtype[c] & kXdigit))
            return -1;
        return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10;
    }
    if (!(kCtype[c] & kDigit))
        return -1;
    const int d = c - '0';
    return (base == 8 && d > 7) ? -1 : d;
}

constexpr size_t kFloatLocal = 350;

// The text of a floating field: a stack buffer that moves to the heap,
// doubling, when a number is longer.
struct FloatText {
    char local[kFloatLocal];
    char *buf = local;
    size_t size = kFloatLocal;
    size_t used = 0;
    bool touched = false;
    bool moved = false;

    FloatText() = default;
    FloatText(const FloatText &) = delete;
    FloatText &operator=(const FloatText &) = delete;
    ~FloatText()
    {
        if (touched)
            memset_s(local, kFloatLocal, 0, kFloatLocal);
        if (moved) {
            memset_s(buf, size, 0, size);
            std::free(buf);
        }
    }

    // Makes room for one more character: 1, or 0 when the buffer cannot grow.
    int check_float_string()
    {
        if (used < size)
            return 1;
        if (size * 2 > kMaxSize)
            return 0;
        auto *grown = static_cast<char *>(std::malloc(size * 2));
        if (grown == nullptr)
            return 0;
        memset_s(grown, size * 2, 0, size * 2);
        memcpy_s(grown, size * 2, buf, size);
        if (moved) {
            memset_s(buf, size, 0, size);
            std::free(buf);
        }
        buf = grown;
        moved = true;
        size *= 2;
        return 1;
    }

    bool put(char c)
    {
        touched = true;
        if (!check_float_string())
            return false;
        buf[used++] = c;
        return true;
    }
};

enum class Step { Next, End };

// Characters of a "[" set.
struct CharSet {
    uint64_t bits[4] = {};
    void add(unsigned c) { bits[c >> 6] |= uint64_t{1} << (c & 63); }
    bool has(int c) const { return (bits[c >> 6] >> (c & 63)) & 1; }
};

struct Scanner {
    KelvoInStream *in;
    va_list args;
    int fields = 0;
    int completed = 0;
    int64_t charsRead = 0;
    int lastCh = 0;
    bool hardFail = false;  // NULL destination, or an unmatched "%" sequence
    FloatText text;

    int get()
    {
        const int c = kelvo_getch(in);
        lastCh = c;
        if (c >= 0)
            ++charsRead;
        return c;
    }

    void unget(int c)
    {
        if (c >= 0) {
            kelvo_un_inc(c, in);
            --charsRead;
        }
    }

    int skip_space()
    {
        int n = 0;
        const int c = kelvo_whiteout(&n, in);
        lastCh = c;
        charsRead += n;
        return c;
    }

    int run(const unsigned char *f);
    bool match_literal(const unsigned char *&f);
    Step convert(const ScanSpec &sp, const unsigned char *&f);
    Step read_chars(char lc, const ScanSpec &sp, int c, void *dest, uint32_t size, bool wide,
                    const CharSet *set);
    Step read_integer(char lc, const ScanSpec &sp, int c, void *dest);
    Step read_float(const ScanSpec &sp, int c, void *dest);
    wchar_t read_wide(int first);
};

// True when the format goes on with a "%n" (with any modifiers).
bool continues_with_n(const unsigned char *f)
{
    if (*f != '%')
        return false;
    ScanSpec sp;
    scan_spec(f + 1, sp);
    return sp.letter == 'n';
}

// Stores an integer of the destination's size.
void store_integer(void *dest, uint64_t v, int bytes)
{
    switch (bytes) {
    case 1: {
        const auto x = static_cast<uint8_t>(v);
        std::memcpy(dest, &x, 1);
        break;
    }
    case 2: {
        const auto x = static_cast<uint16_t>(v);
        std::memcpy(dest, &x, 2);
        break;
    }
    case 4: {
        const auto x = static_cast<uint32_t>(v);
        std::memcpy(dest, &x, 4);
        break;
    }
    default:
        std::memcpy(dest, &v, 8);
        break;
    }
}

int Scanner::run(const unsigned char *f)
{
    while (*f != '\0') {
        if (is_space(*f)) {
            unget(skip_space());
            while (is_space(*f))
                ++f;
            continue;
        }
        if (*f != '%') {
            if (!match_literal(f))
                break;
            continue;
        }
        ScanSpec sp;
        f = scan_spec(f + 1, sp);
        if (convert(sp, f) == Step::End)
            break;
        ++completed;
        if (lastCh == kEnd && !continues_with_n(f))
            break;
    }
    if (lastCh == kEnd)
        return fields > 0 ? fields : completed > 0 ? 0 : -1;
    return hardFail ? -2 : fields;
}

bool Scanner::match_literal(const unsigned char *&f)
{
    int c = get();
    if (c != *f) {
        unget(c);
        return false;
    }
    const unsigned char lead = *f++;
    if (lead < 0x80 || *f == '\0')
        return true;
    // A multibyte character: its next byte must match too, and it counts
    // as one character read.
    c = get();
    if (c != *f) {
        unget(c);
        return false;
    }
    ++f;
    --charsRead;
    if (MB_CUR_MAX > 2 && lead >= 0xE0 && f[-1] >= 0x80) {
        const int third = get();
        if (third < 0)
            return true;
        const char mb[3] = {static_cast<char>(lead), static_cast<char>(f[-1]),
                            static_cast<char>(third)};
        std::mbstate_t state{};
        wchar_t wc;
        const size_t r = std::mbrtowc(&wc, mb, 3, &state);
        if (r == static_cast<size_t>(-1) || r == static_cast<size_t>(-2) || r < 3) {
            unget(third);
            return true;
        }
        if (third != *f) {
            unget(third);
            return false;
        }
        ++f;
        --charsRead;
    }
    return true;
}

Step Scanner::convert(const ScanSpec &sp, const unsigned char *&f)
{
    const char lc = scan_letter(sp);
    const bool isConversion = lc != '\0';
    const bool suppressed = sp.suppress;
    void *dest = nullptr;
    if (!suppressed && isConversion) {
        dest = va_arg(args, void *);
        if (dest == nullptr) {
            hardFail = true;
            return Step::End;
        }
    }
    const bool wide = scan_wide(sp);

    int c = kNone;  // "n" reads nothing, so nothing is pushed back
    if (lc != 'n') {
        c = (lc == 'c' || lc == '[') ? get() : skip_space();
        if (c == kEnd)
            return Step::End;
    }
    if (sp.widthGiven && sp.width == 0) {
        unget(c);
        return Step::End;
    }
    uint32_t size = 0;
    if (!suppressed && (lc == 'c' || lc == 's' || lc == '[')) {
        size = va_arg(args, unsigned int);
        if (size == 0 || size > (wide ? 0x1FFFFFFFU : 0x7FFFFFFFU))
            return Step::End;
    }

    switch (lc) {
    case 'c':
    case 's':
        return read_chars(lc, sp, c, dest, size, wide, nullptr);
    case '[': {
        CharSet set;
        bool complement = false;
        if (!scan_set(f, [&set](unsigned m) { set.add(m); }, &complement)) {
            // A set without its "]": the field stays empty (a whole first
            // unit for a wide destination, so that it reads as empty too).
            if (!suppressed)
                std::memset(dest, 0, wide ? sizeof(wchar_t) : 1);
            return Step::End;
        }
        if (complement)
            for (uint64_t &b : set.bits)
                b = ~b;
        return read_chars(lc, sp, c, dest, size, wide, &set);
    }
    case 'd':
    case 'u':
    case 'o':
    case 'p':
    case 'x':
    case 'i':
        return read_integer(lc, sp, c, dest);
    case 'e':
    case 'f':
    case 'g':
        return read_float(sp, c, dest);
    case 'n':
        if (!suppressed)
            store_integer(dest, static_cast<uint64_t>(charsRead), scan_integer_bytes(sp));
        return Step::Next;
    default:
        if (c != static_cast<unsigned char>(sp.letter) || sp.letter == '\0') {
            unget(c);
            hardFail = true;
            return Step::End;
        }
        return Step::Next;
    }
}

// Wide capacities count 4-byte characters.
static_assert(sizeof(wchar_t) == 4);

wchar_t Scanner::read_wide(int first)
{
    char mb[MB_LEN_MAX];
    size_t n = 0;
    mb[n++] = static_cast<char>(first);
    const size_t most = MB_CUR_MAX < sizeof mb ? MB_CUR_MAX : sizeof mb;
    for (;;) {
        std::mbstate_t state{};
        wchar_t wc = 0;
        const size_t r = std::mbrtowc(&wc, mb, n, &state);
        if (r != static_cast<size_t>(-1) && r != static_cast<size_t>(-2))
            return wc;
        if (n >= most)
            return L'?';
        const int next = get();
        if (next < 0)
            return L'?';
        mb[n++] = static_cast<char>(next);
    }
}

Step Scanner::read_chars(char lc, const ScanSpec &sp, int c, void *dest, uint32_t size, bool wide,
                         const CharSet *set)
{
    const bool suppressed = sp.suppress;
    int64_t widthLeft = sp.widthGiven ? sp.width : lc == 'c' ? 1 : INT64_MAX;
    uint32_t room = (suppressed || lc == 'c') ? size : size - 1;
    auto *narrow = static_cast<char *>(dest);
    auto *wideOut = static_cast<wchar_t *>(dest);
    unget(c);
    int64_t taken = 0;
    while (widthLeft > 0) {
        const int ch = get();
        if (ch == kEnd)
            break;
        if ((lc == 's' && is_space(ch)) || (lc == '[' && !set->has(ch))) {
            unget(ch);
            break;
        }
        --widthLeft;
        if (!suppressed) {
            if (room == 0) {
                if (wide)
                    *static_cast<wchar_t *>(dest) = L'\0';
                else
                    *static_cast<char *>(dest) = '\0';
                return Step::End;
            }
            if (wide)
                *wideOut++ = read_wide(ch);
            else
                *narrow++ = static_cast<char>(ch);
            --room;
        }
        ++taken;
    }
    if (taken == 0)
        return Step::End;
    if (!suppressed) {
        ++fields;
        if (lc != 'c') {
            if (wide)
                *wideOut = L'\0';
            else
                *narrow = '\0';
        }
    }
    return Step::Next;
}

Step Scanner::read_integer(char lc, const ScanSpec &sp, int c, void *dest)
{
    int64_t widthLeft = sp.widthGiven ? sp.width : INT64_MAX;
    // Uses the current character's unit of width and reads the next one.
    auto advance = [&]() { return --widthLeft <= 0 ? kNone : get(); };

    bool negative = false;
    if (c == '+' || c == '-') {
        negative = c == '-';
        c = advance();
    }
    unsigned base = lc == 'o' ? 8 : (lc == 'p' || lc == 'x') ? 16 : 10;
    if ((lc == 'x' || lc == 'i') && c == '0') {
        int next = widthLeft >= 2 ? get() : kNone;
        if (next == 'x' || next == 'X') {
            --widthLeft;
            c = advance();
            base = 16;
        } else {
            unget(next);
            if (lc == 'i')
                base = 8;
        }
    }

    uint64_t v = 0;
    bool overflow = false;
    int digits = 0;
    for (;; c = advance()) {
        const int d = digit_value(c, base);
        if (d < 0) {
            unget(c);
            break;
        }
        if (base == 10)
            overflow |= v > 0x1999999999999999ULL || (v == 0x1999999999999999ULL && d >= 6);
        else if (base == 8)
            overflow |= (v >> 61) != 0;
        else
            overflow |= (v >> 60) != 0;
        v = v * base + static_cast<unsigned>(d);
        ++digits;
    }
    if (digits == 0)
        return Step::End;
    if (sp.suppress)
        return Step::Next;

    constexpr uint64_t kTop = uint64_t{1} << 63;
    constexpr uint64_t kAll = ~uint64_t{0};
    const bool isSigned = lc == 'd' || lc == 'i';
    const int bytes = lc == 'p' ? 8 : scan_integer_bytes(sp);
    uint64_t out;
    if (bytes == 8) {
        if (isSigned)
            out = overflow   ? (negative ? kTop : kTop - 1)
                  : negative ? (v <= kTop ? 0 - v : kTop)
                             : (v >= kTop ? kTop - 1 : v);
        else
            out = overflow ? kAll : negative ? 0 - v : v;
    } else if (isSigned) {
        out = negative ? (overflow || v > kTop ? 0 : 0 - v) : (overflow || v >= kTop ? kAll : v);
    } else if (bytes == 4) {
        out = overflow ? kAll : !negative ? v : v <= (uint64_t{1} << 32) ? 0 - v : kAll;
    } else {
        out = overflow ? kAll : negative ? 0 - v : v;
    }
    ++fields;
    store_integer(dest, out, bytes);
    return Step::Next;
}

Step Scanner::read_float(const ScanSpec &sp, int c, void *dest)
{
    int64_t widthLeft = sp.widthGiven ? sp.width : INT64_MAX;
    auto advance = [&]() { return --widthLeft <= 0 ? kNone : get(); };
    text.used = 0;

    if (c == '-') {
        if (!text.put('-'))
            return Step::End;
        c = advance();
    } else if (c == '+') {
        c = advance();
    }
    int digits = 0;
    auto take_digits = [&]() {
        for (; is_digit(c); c = advance(), ++digits)
            if (!text.put(static_cast<char>(c)))
                return false;
        return true;
    };
    if (!take_digits())
        return Step::End;
    if (c == '.') {
        if (!text.put('.'))
            return Step::End;
        c = advance();
        if (!take_digits())
            return Step::End;
    }
    if (digits == 0) {
        unget(c);
        return Step::End;
    }
    if (c == 'e' || c == 'E') {
        if (!text.put('e'))
            return Step::End;
        c = advance();
        if (c == '-') {
            if (!text.put('-'))
                return Step::End;
            c = advance();
        } else if (c == '+') {
            c = advance();
        }
        if (!take_digits())
            return Step::End;
    }
    unget(c);
    if (sp.suppress)
        return Step::Next;
    if (!text.put('\0'))
        return Step::End;
    ++fields;
    const locale_t loc = c_locale();
    if (sp.sizeCode >= 3) {
        const long double x = loc != locale_t{} ? strtold_l(text.buf, nullptr, loc)
                                                : std::strtold(text.buf, nullptr);
        std::memcpy(dest, &x, sizeof x);
    } else {
        const double x = loc != locale_t{} ? strtod_l(text.buf, nullptr, loc)
                                           : std::strtod(text.buf, nullptr);
        if (sp.sizeCode == 2) {
            std::memcpy(dest, &x, sizeof x);
        } else {
            const auto narrowed = static_cast<float>(x);
            std::memcpy(dest, &narrowed, sizeof narrowed);
        }
    }
    return Step::Next;
}

} // namespace

int kelvo_getch(KelvoInStream *stream)
{
    if (stream->count <= 0)
        return kEnd;
    --stream->count;
    return static_cast<unsigned char>(*stream->cur++);
}

void kelvo_un_inc(int ch, KelvoInStream *stream)
{
    if (ch == kEnd)
        return;
    if (stream->cur > stream->base) {
        --stream->cur;
        ++stream->count;
    }
}

int kelvo_whiteout(int *counter, KelvoInStream *stream)
{
    int c;
    do {
        c = kelvo_getch(stream);
        if (c >= 0)
            ++*counter;
    } while (is_space(c));
    return c;
}

int kelvo_input_s(KelvoInStream *stream, const char *format, va_list ap)
{
    if (format == nullptr || *format == '\0')
        return 0;
    Scanner sc;  // not sc{}: that would zero the float text buffer on every call
    sc.in = stream;
    va_copy(sc.args, ap);
    const int r = sc.run(reinterpret_cast<const unsigned char *>(format));
    va_end(sc.args);
    return r;
}

void clearDestBuf(const char *buffer, const char *format, va_list ap)
{
    const char *p = std::strchr(format, '%');
    if (p == nullptr)
        return;
    ++p;
    while (*p >= '0' && *p <= '9')
        ++p;
    int mods = 0;
    for (;; ++p) {
        if (*p == 'h')
            --mods;
        else if (*p == 'l' || *p == 'w')
            ++mods;
        else
            break;
    }
    const char letter = *p;
    if (letter == '\0' || std::strchr("sScC[", letter) == nullptr)
        return;
    if (letter != 's' && letter != 'S' && *buffer != '\0')
        return;
    if (letter == '[') {
        const char *q = p + 1;
        if (*q == '^')
            ++q;
        if (*q == ']')
            ++q;
        if (std::strchr(q, ']') == nullptr)
            return;
    }
    const bool wide = mods > 0 || (mods == 0 && (letter == 'S' || letter == 'C'));
    va_list args;
    va_copy(args, ap);
    void *dest = va_arg(args, void *);
    const unsigned int size = va_arg(args, unsigned int);
    va_end(args);
    if (dest == nullptr || size < 1 || size > 0x7FFFFFFF)
        return;
    // The size counts 4-byte characters for a wide conversion: clear the
    // whole first character whatever the size.
    std::memset(dest, 0, wide ? sizeof(wchar_t) : 1);
}

int vsscanf_s(const char *buffer, const char *format, va_list ap)
{
    if (buffer == nullptr || format == nullptr)
        return -1;
    const size_t len = std::strlen(buffer);
    if (len == 0 || len > kMaxSize) {
        clearDestBuf(buffer, format, ap);
        return -1;
    }
    KelvoInStream stream{static_cast<int32_t>(len), buffer, buffer};
    const int r = kelvo_input_s(&stream, format, ap);
    return r < 0 ? -1 : r;
}

int kelvo_sscanf_args(const char *buffer, const char *format, ...)
{
    va_list ap;
    va_start(ap, format);
    const int r = vsscanf_s(buffer, format, ap);
    va_end(ap);
    return r;
}
