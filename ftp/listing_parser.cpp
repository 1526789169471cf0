#include "ftp/listing_parser.h"
#include "platform/net/local_time.h"

#include <algorithm>
#include <cmath>
#include <ctime>
#include <limits>

namespace {

// ASCII-only case mapping: names are bytes and must not pass through a locale.
char upper(char c) { return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c; }

std::string upperCopy(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = upper(c);
    return out;
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isTrimmed(char c) { return static_cast<unsigned char>(c) <= ' '; }

std::string_view trim(std::string_view s) {
    std::size_t b = 0, e = s.size();
    while (b < e && isTrimmed(s[b])) ++b;
    while (e > b && isTrimmed(s[e - 1])) --e;
    return s.substr(b, e - b);
}

std::string_view trimRightBlanks(std::string_view s) {
    std::size_t e = s.size();
    while (e > 0 && s[e - 1] == ' ') --e;
    return s.substr(0, e);
}

// 1-based character range that tolerates short lines.
std::string_view chars(std::string_view s, std::size_t from, std::size_t count) {
    if (from == 0 || from > s.size()) return {};
    return s.substr(from - 1, count);
}

bool isBlankLine(std::string_view s) {
    for (char c : s)
        if (c != ' ' && c != '\t') return false;
    return true;
}

bool allDigits(std::string_view s) {
    if (s.empty()) return false;
    for (char c : s)
        if (!isDigit(c)) return false;
    return true;
}

// Decimal number with an optional sign; nullopt when it is not one or does not fit.
std::optional<std::int64_t> toInt64(std::string_view s) {
    bool negative = false;
    if (!s.empty() && (s[0] == '-' || s[0] == '+')) {
        negative = s[0] == '-';
        s.remove_prefix(1);
    }
    if (!allDigits(s)) return std::nullopt;
    std::uint64_t v = 0;
    const std::uint64_t limit = std::uint64_t(std::numeric_limits<std::int64_t>::max()) + (negative ? 1 : 0);
    for (char c : s) {
        const unsigned d = unsigned(c - '0');
        if (v > (limit - d) / 10) return std::nullopt;
        v = v * 10 + d;
    }
    if (negative) return v == 0 ? 0 : -std::int64_t(v - 1) - 1;
    return std::int64_t(v);
}

int toIntDef(std::string_view s, int def) {
    auto v = toInt64(s);
    if (!v || *v > std::numeric_limits<std::int32_t>::max() || *v < std::numeric_limits<std::int32_t>::min())
        return def;
    return int(*v);
}

// Sizes are never negative: a negative count from a server would only turn
// into a wrong resume offset later.
std::int64_t toSize(std::string_view s) {
    auto v = toInt64(s);
    return (v && *v >= 0) ? *v : 0;
}

std::string removeCommas(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (char c : s)
        if (c != ',') out += c;
    return out;
}

bool isLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int daysInMonth(int y, int m) {
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return (m == 2 && isLeap(y)) ? 29 : days[m - 1];
}

// Days from 1970-01-01 of a proleptic Gregorian date.
std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = unsigned(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + std::int64_t(doe) - 719468;
}

const std::int64_t kEpochShift = daysFromCivil(1899, 12, 30);

int twoDigitYear(int year, int todayYear) {
    if (year >= 100) return year;
    int century = (todayYear / 100) * 100;
    if (year > 50) century -= 100;
    return year + century;
}

int monthFromWord(std::string_view word) {
    static const char* const names[] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                        "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
    const std::string u = upperCopy(word);
    for (int i = 0; i < 12; ++i)
        if (u == names[i]) return i + 1;
    return 0;
}

bool isUnixPermissionField(std::string_view u) {
    static const char* const allowed[10] = {"-BCDLPS", "-RSTWX", "-ARSTWX", "-RSTWX", "-HRSTWX",
                                             "-RSTWX",  "-RSTWXY", "-ARSTWX", "-RSTWX", "-RSTWX"};
    if (u.size() < 10) return false;
    for (int i = 0; i < 10; ++i)
        if (u[i] == '\0' || std::string_view(allowed[i]).find(u[i]) == std::string_view::npos) return false;
    return true;
}

// ---------------------------------------------------------------------------
// Widened date forms: other languages, numeric and ISO dates, hour 24.

// ASCII letters to lower case, and the accented capitals of Latin-1 (as single
// bytes or as UTF-8 pairs) to theirs, so "MÄR" and "mär" compare equal.
std::string lowerName(std::string_view s) {
    std::string out(s);
    for (std::size_t i = 0; i < out.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(out[i]);
        if (c >= 'A' && c <= 'Z') {
            out[i] = char(c + 32);
        } else if (c == 0xC3 && i + 1 < out.size()) {
            unsigned char n = static_cast<unsigned char>(out[i + 1]);
            if (n >= 0x80 && n <= 0x9E && n != 0x97) out[i + 1] = char(n + 0x20);
            ++i;
        } else if (c >= 0xC0 && c <= 0xDE && c != 0xD7) {
            out[i] = char(c + 0x20);
        }
    }
    return out;
}

// Month names and abbreviations as ls writes them in English, German, French,
// Spanish, Italian and Dutch (accented ones in UTF-8 and in Latin-1); a
// trailing dot is ignored. 0 for anything else.
int monthFromName(std::string_view word) {
    if (!word.empty() && word.back() == '.') word.remove_suffix(1);
    if (word.size() < 3 || word.size() > 10) return 0;
    static const char* const names[12][12] = {
        {"jan", "january", "januar", "janv", "janvier", "ene", "enero", "gen", "gennaio", "januari", "j\xc3\xa4n", "j\xe4n"},
        {"feb", "february", "februar", "f\xc3\xa9v", "f\xc3\xa9vr", "f\xe9v", "f\xe9vr", "febrero", "febbraio", "februari", "febr", nullptr},
        {"mar", "march", "m\xc3\xa4r", "m\xe4r", "m\xc3\xa4rz", "m\xe4rz", "mrz", "mars", "marzo", "mrt", "maart", nullptr},
        {"apr", "april", "avr", "avril", "abr", "abril", "aprile", nullptr},
        {"may", "mai", "mayo", "mag", "maggio", "mei", nullptr},
        {"jun", "june", "juni", "juin", "junio", "giu", "giugno", nullptr},
        {"jul", "july", "juli", "juil", "juillet", "julio", "lug", "luglio", nullptr},
        {"aug", "august", "ao\xc3\xbbt", "ao\xfbt", "aout", "ago", "agosto", "augustus", nullptr},
        {"sep", "sept", "september", "septembre", "septiembre", "set", "settembre", nullptr},
        {"oct", "october", "okt", "oktober", "octobre", "octubre", "ott", "ottobre", nullptr},
        {"nov", "november", "novembre", "noviembre", nullptr},
        {"dec", "december", "dez", "dezember", "d\xc3\xa9" "c", "d\xe9" "c", "d\xc3\xa9" "cembre", "d\xe9" "cembre", "dic",
         "diciembre", "dicembre", nullptr},
    };
    const std::string w = lowerName(word);
    for (int m = 0; m < 12; ++m)
        for (const char* const* n = names[m]; n < names[m] + 12 && *n; ++n)
            if (w == *n) return m + 1;
    return 0;
}

// A day of the month, "5" or "5." (German); 0 when it is not one.
int dayFromWord(std::string_view w) {
    if (!w.empty() && w.back() == '.') w.remove_suffix(1);
    if (w.empty() || w.size() > 2 || !allDigits(w)) return 0;
    const int d = toIntDef(w, 0);
    return d >= 1 && d <= 31 ? d : 0;
}

int yearFromWord(std::string_view w) { return w.size() == 4 && allDigits(w) ? toIntDef(w, 0) : 0; }

// "14:30", "14:30:05", "14:30:05.000000000" (full-iso) or "14.30" (Italian).
bool timeFromWord(std::string_view w, int& hour, int& minute, int& second) {
    const char sep = w.find(':') != std::string_view::npos ? ':' : '.';
    std::vector<std::string_view> parts;
    for (std::size_t p; (p = w.find(sep)) != std::string_view::npos; w.remove_prefix(p + 1)) parts.push_back(w.substr(0, p));
    parts.push_back(w);
    if (parts.size() < 2 || parts.size() > 3 || (sep == '.' && parts.size() != 2)) return false;
    if (parts.size() == 3) parts[2] = parts[2].substr(0, std::min(parts[2].find('.'), parts[2].size()));
    for (std::string_view part : parts)
        if (part.empty() || part.size() > 2 || !allDigits(part)) return false;
    hour = toIntDef(parts[0], -1);
    minute = toIntDef(parts[1], -1);
    second = parts.size() == 3 ? toIntDef(parts[2], -1) : 0;
    return hour >= 0 && hour <= 24 && minute >= 0 && minute <= 59 && second >= 0 && second <= 59 &&
           (hour < 24 || (minute == 0 && second == 0));
}

// Three numbers with one separator: "2002-09-02" and "2002/09/02" year first,
// "02.09.2002" day first, "09-02-2002" and "09/02/02" month first unless the
// month cannot be one.
bool numericDate(std::string_view w, int todayYear, int& year, int& month, int& day) {
    std::size_t sepAt = 0;
    while (sepAt < w.size() && isDigit(w[sepAt])) ++sepAt;
    if (sepAt == 0 || sepAt >= w.size()) return false;
    const char sep = w[sepAt];
    if (sep != '-' && sep != '/' && sep != '.') return false;
    std::vector<std::string_view> parts;
    for (std::size_t p; (p = w.find(sep)) != std::string_view::npos; w.remove_prefix(p + 1)) parts.push_back(w.substr(0, p));
    parts.push_back(w);
    if (parts.size() != 3) return false;
    for (std::string_view part : parts)
        if (part.empty() || part.size() > 4 || !allDigits(part)) return false;
    int a = toIntDef(parts[0], 0), b = toIntDef(parts[1], 0), c = toIntDef(parts[2], 0);
    if (parts[0].size() == 4) {
        year = a, month = b, day = c;
    } else if (sep == '.') {
        day = a, month = b, year = c;
    } else if (a > 12 && b <= 12) {
        day = a, month = b, year = c;
    } else {
        month = a, day = b, year = c;
    }
    if (parts[0].size() != 4 && parts[2].size() <= 2) year = twoDigitYear(year, todayYear);
    return year >= 1 && month >= 1 && month <= 12 && day >= 1 && day <= daysInMonth(year, month);
}

// Hour 24 (with no minutes) is midnight at the end of the day.
std::optional<double> encodeAt(int year, int month, int day, int hour, int minute, int second, int msec) {
    if (hour == 24 && minute == 0 && second == 0) {
        const auto start = EncodeListingDateTime(year, month, day, 0, 0, 0, msec);
        if (!start) return std::nullopt;
        return *start + 1;
    }
    return EncodeListingDateTime(year, month, day, hour, minute, second, msec);
}

// A blank-separated word of a line with its place in it.
struct Token {
    std::size_t begin, end;
};

std::vector<Token> tokenize(std::string_view line) {
    std::vector<Token> out;
    for (std::size_t i = 0; i < line.size();) {
        if (line[i] == ' ') {
            ++i;
            continue;
        }
        const std::size_t b = i;
        while (i < line.size() && line[i] != ' ') ++i;
        out.push_back({b, i});
    }
    return out;
}

// A date (and time) starting at word i of a Unix line.
struct FoundDate {
    std::size_t words = 0;  // how many words it takes
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    bool endsWithYear = false;  // ls pads such dates with a blank before the name
};

std::optional<FoundDate> dateAt(std::string_view line, const std::vector<Token>& t, std::size_t i,
                                const ListingDate& today) {
    const auto word = [&](std::size_t k) {
        return k < t.size() ? line.substr(t[k].begin, t[k].end - t[k].begin) : std::string_view();
    };
    FoundDate d;
    // The year or time that closes "Jan 5 2003", "5. Jan 14:30" and the like.
    const auto yearOrTime = [&](std::string_view w) {
        if (const int y = yearFromWord(w)) {
            d.year = y;
            d.endsWithYear = true;
            return true;
        }
        if (!timeFromWord(w, d.hour, d.minute, d.second)) return false;
        d.year = today.Year - (today.Month < d.month ? 1 : 0);
        return true;
    };
    const auto optionalTime = [&](std::size_t k) {
        if (!timeFromWord(word(k), d.hour, d.minute, d.second)) {
            d.endsWithYear = true;
            return;
        }
        ++d.words;
        const std::string_view zone = word(k + 1);
        if (zone.size() == 5 && (zone[0] == '+' || zone[0] == '-') && allDigits(zone.substr(1))) ++d.words;
    };
    if ((d.month = monthFromName(word(i))) && (d.day = dayFromWord(word(i + 1))) && yearOrTime(word(i + 2))) {
        d.words = 3;
    } else if ((d.day = dayFromWord(word(i))) && (d.month = monthFromName(word(i + 1))) && yearOrTime(word(i + 2))) {
        d.words = 3;
    } else if (numericDate(word(i), today.Year, d.year, d.month, d.day)) {
        d.words = 1;
        d.endsWithYear = false;
        optionalTime(i + 1);
    } else {
        // "11-20 14:30": month and day of a recent file, as ls's iso style writes it.
        const std::string_view w = word(i);
        if (w.size() != 5 || w[2] != '-' || !allDigits(w.substr(0, 2)) || !allDigits(w.substr(3))) return std::nullopt;
        d.month = toIntDef(w.substr(0, 2), 0);
        d.day = toIntDef(w.substr(3), 0);
        if (d.month < 1 || d.month > 12 || !timeFromWord(word(i + 1), d.hour, d.minute, d.second)) return std::nullopt;
        d.year = today.Year - (today.Month < d.month ? 1 : 0);
        d.words = 2;
    }
    if (d.month < 1 || d.month > 12 || d.day < 1 || d.day > daysInMonth(d.year, d.month)) return std::nullopt;
    return d;
}

// Reads blank-separated words from a line.
class Words {
public:
    explicit Words(std::string text) : text_(std::move(text)) {}
    std::string_view Next() {
        const std::size_t b = pos_;
        while (pos_ < text_.size() && text_[pos_] != ' ') ++pos_;
        return std::string_view(text_).substr(b, pos_ - b);
    }
    void SkipBlanks() {
        while (pos_ < text_.size() && text_[pos_] == ' ') ++pos_;
    }
    std::string_view Rest() const { return std::string_view(text_).substr(pos_); }
    bool AtEnd() const { return pos_ >= text_.size(); }
    // Puts a word back in front of the text still to be read.
    void PushFront(std::string_view word) {
        text_ = std::string(word) + " " + std::string(Rest());
        pos_ = 0;
    }
    // Steps over the one blank that ends the current word.
    void SkipOne() {
        if (pos_ < text_.size()) ++pos_;
    }

private:
    std::string text_;
    std::size_t pos_ = 0;
};

[[noreturn]] void failLine() { throw EIdException("Invalid listing line"); }

// The columns of an MS-DOS line: date text, time word and the text after it.
struct DosColumns {
    std::string dateText;
    std::string timeText;
    std::string_view rest;  // after the time word, trimmed
};

DosColumns splitDosLine(std::string_view line) {
    DosColumns c;
    // Servers set to four-digit years write the year in columns 7-10; reading
    // only 7-8 would turn "2003" into 2020 and shift every later column.
    const std::size_t yearWidth = (chars(line, 7, 4).size() == 4 && allDigits(chars(line, 7, 4))) ? 4 : 2;
    c.dateText.append(chars(line, 1, 2)).append("/").append(chars(line, 4, 2)).append("/");
    c.dateText.append(chars(line, 7, yearWidth));
    const std::size_t restFrom = 6 + yearWidth;
    std::string_view rest = trim(line.size() > restFrom ? line.substr(restFrom) : std::string_view());
    const std::size_t timeEnd = std::min(rest.find(' '), rest.size());
    c.timeText = std::string(rest.substr(0, timeEnd));
    c.rest = trim(rest.substr(timeEnd));
    return c;
}

std::string_view firstWord(std::string_view s) { return s.substr(0, std::min(s.find(' '), s.size())); }

// A size word with its thousands grouped by commas, or by dots as German
// Windows writes them ("1.234.567").
std::optional<std::int64_t> dosSize(std::string_view w) {
    std::string plain = removeCommas(w);
    if (allDigits(plain)) return toSize(plain);
    if (w.size() < 5 || w.find('.') == std::string_view::npos) return std::nullopt;
    plain.clear();
    std::size_t group = 0, groups = 0;
    for (std::size_t i = w.size(); i-- > 0;) {
        if (w[i] == '.') {
            if (group != 3) return std::nullopt;
            group = 0;
            ++groups;
        } else if (isDigit(w[i])) {
            if (++group > 3) return std::nullopt;
            plain.insert(plain.begin(), w[i]);
        } else {
            return std::nullopt;
        }
    }
    if (group == 0 || groups == 0) return std::nullopt;
    return toSize(plain);
}

// The size word and the name after it; rest starts at the size word. A size
// word that is neither "<DIR>" nor a number, or no name, fails the line.
void setDosSizeAndName(ListingEntry& e, std::string_view rest) {
    const std::size_t sizeEnd = std::min(rest.find(' '), rest.size());
    const std::string_view sizeWord = rest.substr(0, sizeEnd);
    std::string_view after = sizeEnd < rest.size() ? rest.substr(sizeEnd + 1) : std::string_view();
    if (upperCopy(sizeWord) == "<DIR>") {
        e.EntryKind = KindFolder;
        // The padding after "<DIR>" varies between servers; no folder name
        // begins with it.
        after.remove_prefix(std::min(after.find_first_not_of(' '), after.size()));
    } else {
        const auto size = dosSize(sizeWord);
        if (!size) failLine();
        e.EntryKind = KindFile;
        e.EntrySize = *size;
    }
    e.EntryName = std::string(trimRightBlanks(after));
    if (e.EntryName.empty()) failLine();
}

// The classic columns: a date "mm-dd-yy" (or "/", or a four-digit year) in
// the first characters.
bool hasDosDateColumns(std::string_view line) {
    return line.size() >= 8 && isDigit(line[0]) && isDigit(line[1]) && (line[2] == '-' || line[2] == '/') &&
           isDigit(line[3]) && isDigit(line[4]) && (line[5] == '-' || line[5] == '/') && isDigit(line[6]) &&
           isDigit(line[7]);
}

// MS-DOS lines with dotted or ISO dates or other spacing: date, time (with
// AM or PM, attached or as a word of its own), size word, name.
void parseDosWords(ListingEntry& e, const ListingDate& today) {
    const std::string_view line = e.RawLine;
    const std::vector<Token> t = tokenize(line);
    if (t.size() < 4) failLine();
    const auto word = [&](std::size_t k) { return line.substr(t[k].begin, t[k].end - t[k].begin); };
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    if (t[0].begin != 0 || !numericDate(word(0), today.Year, year, month, day)) failLine();
    std::string time = upperCopy(word(1));
    std::size_t next = 2;
    if (const std::string w2 = upperCopy(word(2)); w2 == "AM" || w2 == "PM") {
        time += w2;
        ++next;
    }
    const bool pm = time.size() > 2 && time.compare(time.size() - 2, 2, "PM") == 0;
    const bool am = time.size() > 2 && time.compare(time.size() - 2, 2, "AM") == 0;
    if (pm || am) time.resize(time.size() - 2);
    if (!timeFromWord(time, hour, minute, second) || ((pm || am) && (hour < 1 || hour > 12))) failLine();
    if (pm && hour < 12) hour += 12;
    if (am && hour == 12) hour = 0;
    if (next >= t.size()) failLine();
    const auto value = encodeAt(year, month, day, hour, minute, second, 0);
    if (!value) failLine();
    e.Modified = *value;
    setDosSizeAndName(e, line.substr(t[next].begin));
}

void parseDosLine(ListingEntry& e, const ListingDate& today) {
    if (!hasDosDateColumns(e.RawLine)) {
        parseDosWords(e, today);
        return;
    }
    const DosColumns cols = splitDosLine(e.RawLine);
    const std::string& dateText = cols.dateText;
    const std::string& timeText = cols.timeText;
    const std::string_view rest = cols.rest;

    e.Modified = 0;
    [&] {
        // Date: month, day, year, split by the first character that is not a digit.
        std::size_t sepPos = 0;
        while (sepPos < dateText.size() && isDigit(dateText[sepPos])) ++sepPos;
        if (sepPos >= dateText.size()) return;
        const char sep = dateText[sepPos];
        std::vector<std::string_view> parts;
        std::string_view d = dateText;
        for (std::size_t p; (p = d.find(sep)) != std::string_view::npos; d.remove_prefix(p + 1))
            parts.push_back(d.substr(0, p));
        parts.push_back(d);
        if (parts.size() != 3) return;
        auto month = toInt64(parts[0]), day = toInt64(parts[1]), year = toInt64(parts[2]);
        if (!month || !day || !year || *year < 0 || *year > 9999) return;

        std::string t = upperCopy(timeText);
        bool pm = false, am = false;
        if (auto p = t.find("PM"); p != std::string::npos) {
            t = t.substr(0, p);
            pm = true;
        }
        if (auto p = t.find("AM"); p != std::string::npos) {
            t = t.substr(0, p);
            am = true;
        }
        int tp[4] = {0, 0, 0, 0};
        std::size_t tsep = 0;
        while (tsep < t.size() && isDigit(t[tsep])) ++tsep;
        std::vector<std::string_view> tparts;
        if (tsep < t.size()) {
            const char s = t[tsep];
            std::string_view tv = t;
            for (std::size_t p; (p = tv.find(s)) != std::string_view::npos; tv.remove_prefix(p + 1))
                tparts.push_back(tv.substr(0, p));
            tparts.push_back(tv);
        } else {
            tparts.push_back(t);
        }
        if (tparts.size() > 4) return;
        for (std::size_t i = 0; i < tparts.size(); ++i) {
            auto v = toInt64(tparts[i]);
            if (!v || *v < 0 || *v > 1000) return;
            tp[i] = int(*v);
        }
        if (pm && tp[0] < 12) tp[0] += 12;
        if (am && tp[0] == 12) tp[0] = 0;
        auto value = encodeAt(twoDigitYear(int(*year), today.Year), int(*month), int(*day), tp[0],
                                           tp[1], tp[2], tp[3]);
        if (value) e.Modified = *value;
    }();

    setDosSizeAndName(e, rest);
}

void parseUnixLine(ListingEntry& e, bool dsk, const ListingDate& today) {
    Words w(e.RawLine);
    const std::string perm(w.Next());
    w.SkipBlanks();
    const char k = perm.empty() ? ' ' : upper(perm[0]);
    e.EntryKind = k == 'D' ? KindFolder : (k == 'L' ? KindLink : KindFile);
    auto part = [&](std::size_t from) { return perm.size() > from ? perm.substr(from, 3) : std::string(); };
    e.UserRights = part(1);
    e.GroupRights = part(4);
    e.OtherRights = part(7);

    std::string linkText, owner, group, size;
    const std::string second(w.Next());
    w.SkipBlanks();
    bool noColumns = upperCopy(second) == "FOLDER";
    if (!noColumns) {
        if (second.size() > 3 && second[0] == '0') {
            linkText = "0";
            w.PushFront(std::string_view(second).substr(1));
        } else {
            linkText = second;
        }
        owner = std::string(w.Next());
        w.SkipBlanks();
        group = std::string(w.Next());
        w.SkipBlanks();
    }

    const std::string_view rest = w.Rest();
    if (!dsk && !rest.empty() && isLetter(rest[0])) {
        size = group;
        group = owner;
        owner.clear();
    } else {
        const std::string word(w.Next());
        if (const auto comma = word.find(','); comma != std::string::npos) {
            // Device numbers "major, minor": the minor is the next word unless
            // it was written right after the comma.
            if (comma + 1 == word.size()) {
                w.SkipBlanks();
                w.Next();
            }
        } else {
            size = word;
        }
    }
    w.SkipBlanks();

    const int month = monthFromWord(w.Next());
    w.SkipBlanks();
    if (month == 0) failLine();
    const int day = toIntDef(w.Next(), today.Day);
    w.SkipBlanks();
    const std::string yearOrTime(w.Next());
    int year = today.Year, hour = 0, minute = 0;
    if (const auto colon = yearOrTime.find(':'); colon != std::string::npos) {
        std::string_view t = yearOrTime;
        const std::string_view hh = t.substr(0, colon);
        std::string_view mm = t.substr(colon + 1);
        bool withSeconds = false;
        if (const auto c2 = mm.find(':'); c2 != std::string_view::npos) {
            mm = mm.substr(0, c2);
            withSeconds = true;
        }
        hour = toIntDef(hh, 0);
        minute = toIntDef(mm, 0);
        if (today.Month < month) --year;
        // BSD's "ls -lT" writes "Jan  5 10:15:00 2003": the year belongs to
        // the date, not to the name.
        const std::string_view after = w.Rest();
        if (withSeconds && after.size() > 6 && after[0] == ' ' && allDigits(after.substr(1, 4)) && after[5] == ' ') {
            year = toIntDef(after.substr(1, 4), year);
            w.SkipOne();
            w.Next();
        }
    } else {
        year = toIntDef(yearOrTime, today.Year);
    }
    w.SkipOne();
    std::string name(w.Rest());
    if (name.empty()) failLine();  // a date where the name should be

    if (e.EntryKind == KindLink) {
        // A link line without an arrow keeps its whole name rather than none.
        if (const auto arrow = name.find(" -> "); arrow != std::string::npos) {
            e.LinkTarget = name.substr(arrow + 4);
            name.resize(arrow);
        }
        if (name.empty()) failLine();  // only a link target where the name should be
    }
    e.EntryName = std::move(name);
    e.LinkCount = toIntDef(linkText, 0);
    e.OwnerName = owner;
    e.GroupName = group;
    e.EntrySize = toSize(size);
    auto value = encodeAt(year, month, day, hour, minute, 0, 999);
    if (!value) failLine();
    e.Modified = *value;
}

// Unix lines the column rules cannot read: owner or group names with blanks,
// dates in other languages, numeric or ISO dates. The date is found first (a
// size word, then a date the forms above know); what follows is the name and
// what lies between the permissions and the size are link count, owner and
// group. False when no such date is there or no name follows it.
bool parseUnixAnchored(ListingEntry& e, const ListingDate& today) {
    const std::string_view line = e.RawLine;
    const std::vector<Token> t = tokenize(line);
    const auto word = [&](std::size_t k) { return line.substr(t[k].begin, t[k].end - t[k].begin); };
    if (t.size() < 4 || t[0].begin != 0 || !isUnixPermissionField(upperCopy(word(0)))) return false;
    for (std::size_t i = 2; i < t.size(); ++i) {
        if (!allDigits(word(i - 1))) continue;
        const auto d = dateAt(line, t, i, today);
        if (!d) continue;
        std::size_t nameFrom = t[i + d->words - 1].end + 1;
        if (d->endsWithYear && nameFrom + 1 < line.size() && line[nameFrom] == ' ') ++nameFrom;  // column padding
        if (nameFrom >= line.size() || line.find_first_not_of(' ', nameFrom) == std::string_view::npos) return false;
        const auto value = encodeAt(d->year, d->month, d->day, d->hour, d->minute, d->second, 999);
        if (!value) return false;

        const std::string perm(word(0));
        const char k = upper(perm[0]);
        e.EntryKind = k == 'D' ? KindFolder : (k == 'L' ? KindLink : KindFile);
        e.UserRights = perm.substr(1, 3);
        e.GroupRights = perm.substr(4, 3);
        e.OtherRights = perm.substr(7, 3);
        std::size_t first = 1, last = i - 1;  // the words between permissions and size
        e.LinkCount = 0;
        if (first < last && allDigits(word(first))) e.LinkCount = toIntDef(word(first++), 0);
        const auto span = [&](std::size_t a, std::size_t b) {
            return a < b ? std::string(line.substr(t[a].begin, t[b - 1].end - t[a].begin)) : std::string();
        };
        const std::size_t names = last - first;
        const std::size_t ownerEnd = names == 1 ? first : (names % 2 == 0 ? first + names / 2 : first + 1);
        e.OwnerName = span(first, ownerEnd);
        e.GroupName = span(ownerEnd, last);
        e.EntrySize = toSize(word(i - 1));
        e.Modified = *value;
        std::string name(line.substr(nameFrom));
        if (e.EntryKind == KindLink) {
            if (const auto arrow = name.find(" -> "); arrow != std::string::npos) {
                e.LinkTarget = name.substr(arrow + 4);
                name.resize(arrow);
            }
        }
        e.EntryName = std::move(name);
        return !e.EntryName.empty();
    }
    return false;
}


// ---- MLSD

std::string lowerCopy(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return out;
}

// The facts of an MLSD line ("type=file;size=3;") and its name, split at
// the first blank; false when there is no blank.
bool splitMlsdLine(std::string_view line, std::string_view& facts, std::string_view& name) {
    const std::size_t sp = line.find(' ');
    if (sp == std::string_view::npos) return false;
    facts = line.substr(0, sp);
    name = line.substr(sp + 1);
    return true;
}

template <typename Fn>
void forEachFact(std::string_view facts, Fn fn) {
    std::size_t start = 0;
    while (start < facts.size()) {
        std::size_t end = facts.find(';', start);
        if (end == std::string_view::npos) end = facts.size();
        const std::string_view fact = facts.substr(start, end - start);
        start = end + 1;
        const std::size_t eq = fact.find('=');
        if (eq == std::string_view::npos || eq == 0) continue;
        fn(lowerCopy(fact.substr(0, eq)), fact.substr(eq + 1));
    }
}

bool isMlsdFolderItself(std::string_view line) {
    std::string_view facts, name;
    if (!splitMlsdLine(line, facts, name)) return false;
    bool self = false;
    forEachFact(facts, [&](const std::string& key, std::string_view value) {
        if (key != "type") return;
        const std::string v = lowerCopy(value);
        self = v == "cdir" || v == "pdir";
    });
    return self;
}

// "YYYYMMDDHHMMSS[.sss]" in UTC, as local time; nullopt when it is not one.
std::optional<double> mlsdTime(std::string_view v) {
    if (v.size() < 14 || !allDigits(v.substr(0, 14))) return std::nullopt;
    const auto num = [&](std::size_t at, std::size_t n) { return toIntDef(v.substr(at, n), -1); };
    const int year = num(0, 4), month = num(4, 2), day = num(6, 2), hour = num(8, 2), minute = num(10, 2),
              second = num(12, 2);
    int msec = 0;
    if (v.size() > 14) {
        if (v[14] != '.' || v.size() == 15 || !allDigits(v.substr(15))) return std::nullopt;
        const std::string frac = std::string(v.substr(15, 3)) + std::string(3 - std::min<std::size_t>(3, v.size() - 15), '0');
        msec = toIntDef(frac, 0);
    }
    if (!EncodeListingDateTime(year, month, day, hour, minute, second, msec)) return std::nullopt;
    const std::int64_t epochDays = daysFromCivil(year, unsigned(month), unsigned(day)) - daysFromCivil(1970, 1, 1);
    const std::time_t t = static_cast<std::time_t>(epochDays * 86400 + hour * 3600 + minute * 60 + second);
    const std::tm tm = net::localTime(t);
    if (auto local = EncodeListingDateTime(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min,
                                           std::min(tm.tm_sec, 59), msec))
        return local;
    // Beyond what the system converts: the UTC time is closer than nothing.
    return EncodeListingDateTime(year, month, day, hour, minute, second, msec);
}

// Rights triples of an octal mode ("0755", "644").
bool setMlsdRights(ListingEntry& e, std::string_view mode) {
    if (mode.size() < 3 || mode.size() > 4) return false;
    for (char c : mode)
        if (c < '0' || c > '7') return false;
    const std::string_view last = mode.substr(mode.size() - 3);
    std::string* triples[] = {&e.UserRights, &e.GroupRights, &e.OtherRights};
    for (int i = 0; i < 3; ++i) {
        const int bits = last[std::size_t(i)] - '0';
        *triples[i] = std::string(1, bits & 4 ? 'r' : '-') + (bits & 2 ? 'w' : '-') + (bits & 1 ? 'x' : '-');
    }
    return true;
}

void parseMlsdLine(ListingEntry& e) {
    std::string_view facts, name;
    if (!splitMlsdLine(e.RawLine, facts, name) || name.empty()) throw EIdInvalidFTPListingFormat();
    e.EntryName = std::string(name);
    e.EntryKind = KindFile;
    std::string owner, ownerId, group, groupId;
    forEachFact(facts, [&](const std::string& key, std::string_view value) {
        if (key == "type") {
            const std::string v = lowerCopy(value);
            if (v == "dir" || v == "cdir" || v == "pdir") {
                e.EntryKind = KindFolder;
            } else if (v.rfind("os.unix=slink", 0) == 0 || v.rfind("os.unix=symlink", 0) == 0) {
                e.EntryKind = KindLink;
                const std::size_t colon = value.find(':');
                if (colon != std::string_view::npos) e.LinkTarget = std::string(value.substr(colon + 1));
            }
        } else if (key == "size") {
            if (auto n = toInt64(value); n && *n >= 0 && allDigits(value)) e.EntrySize = *n;
        } else if (key == "modify") {
            if (auto t = mlsdTime(value)) e.Modified = *t;
        } else if (key == "unix.mode") {
            setMlsdRights(e, value);
        } else if (key == "unix.owner" || key == "unix.ownername") {
            owner = std::string(value);
        } else if (key == "unix.uid") {
            ownerId = std::string(value);
        } else if (key == "unix.group" || key == "unix.groupname") {
            group = std::string(value);
        } else if (key == "unix.gid") {
            groupId = std::string(value);
        }
    });
    if (!owner.empty() || !ownerId.empty()) e.OwnerName = owner.empty() ? ownerId : owner;
    if (!group.empty() || !groupId.empty()) e.GroupName = group.empty() ? groupId : group;
}

// The count line of "ls -l" in any language: one word and a number.
bool isCountLine(std::string_view line) {
    const std::string_view t = trim(line);
    const std::size_t blank = t.find(' ');
    if (blank == std::string_view::npos || blank == 0) return false;
    for (char c : t.substr(0, blank))
        if (isDigit(c) || c == '-') return false;
    return allDigits(trim(t.substr(blank)));
}

std::size_t firstNonBlank(const std::vector<std::string>& lines) {
    for (std::size_t i = 0; i < lines.size(); ++i)
        if (!isBlankLine(lines[i])) return i;
    return lines.size();
}

}  // namespace

ListingDate ListingToday() {
    const std::time_t now = std::time(nullptr);
    const std::tm tm = net::localTime(now);
    return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday};
}

std::optional<double> EncodeListingDateTime(int year, int month, int day, int hour, int minute, int second,
                                            int msec) {
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > daysInMonth(year, month))
        return std::nullopt;
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 || msec < 0 || msec > 999)
        return std::nullopt;
    const double days = double(daysFromCivil(year, unsigned(month), unsigned(day)) - kEpochShift);
    const double frac = (((hour * 60.0 + minute) * 60.0 + second) * 1000.0 + msec) / 86400000.0;
    // Days before the epoch are negative while the time still counts forward.
    return days >= 0 ? days + frac : days - frac;
}

ListingDateTime DecodeListingDateTime(double modified) {
    ListingDateTime r;
    double whole = std::trunc(modified);
    double frac = std::fabs(modified - whole);
    std::int64_t ms = std::llround(frac * 86400000.0);
    if (ms >= 86400000) {
        ms -= 86400000;
        whole += modified >= 0 ? 1 : -1;
    }
    // Civil date from day count (inverse of daysFromCivil).
    std::int64_t z = std::int64_t(whole) + kEpochShift + 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = unsigned(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t y = std::int64_t(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    r.Day = int(doy - (153 * mp + 2) / 5 + 1);
    r.Month = int(mp < 10 ? mp + 3 : mp - 9);
    r.Year = int(y + (r.Month <= 2));
    r.Hour = int(ms / 3600000);
    r.Minute = int(ms / 60000 % 60);
    r.Second = int(ms / 1000 % 60);
    r.Msec = int(ms % 1000);
    return r;
}

ListingEntry& TIdFTPListItems::Add() { return items_.emplace_back(); }

ListingFormat TIdFTPListItems::CheckListFormat(std::string_view line, bool translate) {
    if (!translate) return FormatNameOnly;
    const std::string u = upperCopy(line);
    if (isUnixPermissionField(u) || u.rfind("TOTAL", 0) == 0) return FormatUnix;
    if (u.find("DSK:") != std::string::npos) return FormatDsk;
    const std::string_view uv = u;
    const auto sepAt = [&](std::size_t pos) {
        const std::string_view c = chars(uv, pos, 1);
        return c == "-" || c == "/";
    };
    if (sepAt(3) && sepAt(6)) {
        if (trim(chars(uv, 25, 6)) == "<DIR>") return FormatDos;
        const std::string_view blankPart = trim(chars(uv, 25, 6));
        if (blankPart.empty() && allDigits(removeCommas(trim(chars(uv, 31, 8))))) return FormatDos;
        // Servers that pad the columns differently (sizes wider than columns
        // 31-38, "<DIR>" left of column 25 in 24-hour lines) still give a
        // size word after the time that is "<DIR>" or a number.
        std::string_view fromSize = firstWord(trim(uv.size() >= 25 ? uv.substr(24) : std::string_view()));
        if (allDigits(removeCommas(fromSize))) return FormatDos;
        const std::string sizeWord = removeCommas(firstWord(splitDosLine(uv).rest));
        if (sizeWord == "<DIR>" || allDigits(sizeWord)) return FormatDos;
    }
    // Dotted or ISO dates, other spacing: a line that reads as one.
    if (!line.empty() && isDigit(line[0])) {
        ListingEntry probe;
        probe.RawLine = std::string(line);
        try {
            parseDosWords(probe, ListingToday());
            return FormatDos;
        } catch (const EIdException&) {
        }
    }
    return FormatUnknown;
}

void TIdFTPListItems::ParseEntry(ListingEntry& entry) const { parseEntryOn(entry, Today ? *Today : ListingToday()); }

void TIdFTPListItems::parseEntryOn(ListingEntry& entry, const ListingDate& today) const {
    switch (ListFormat) {
    case FormatNone:
        return;
    case FormatDos:
        parseDosLine(entry, today);
        return;
    case FormatUnix:
        try {
            parseUnixLine(entry, false, today);
        } catch (const EIdException&) {
            ListingEntry wide;
            wide.RawLine = entry.RawLine;
            if (!parseUnixAnchored(wide, today)) throw;
            entry = std::move(wide);
        }
        return;
    case FormatDsk:
        parseUnixLine(entry, true, today);
        return;
    case FormatNameOnly:
        entry.EntryName = std::string(trim(entry.RawLine));
        return;
    case FormatMlsd:
        parseMlsdLine(entry);
        return;
    case FormatCustom:
        if (OnParseCustomListFormat) {
            OnParseCustomListFormat(entry);
            return;
        }
        throw EIdInvalidFTPListingFormat();
    case FormatUnknown:
        break;
    }
    throw EIdInvalidFTPListingFormat();
}

void TIdFTPListItems::LoadList(const std::vector<std::string>& lines) {
    Clear();
    const ListingDate today = Today ? *Today : ListingToday();  // once, not per line
    items_.reserve(lines.size());
    std::size_t skip = lines.size();
    if (ListFormat == FormatUnix) {
        const std::size_t first = firstNonBlank(lines);
        if (first < lines.size() &&
            (upperCopy(std::string_view(lines[first]).substr(0, 5)) == "TOTAL" || isCountLine(lines[first])))
            skip = first;
    }
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i == skip || isBlankLine(lines[i])) continue;
        if (ListFormat == FormatMlsd && isMlsdFolderItself(lines[i])) continue;
        ListingEntry& entry = Add();
        entry.RawLine = lines[i];
        if (ListFormat == FormatNone) continue;
        try {
            parseEntryOn(entry, today);
        } catch (const std::exception&) {
            // Only this line is lost; the caller learns how many were.
            items_.pop_back();
            ++skipped_;
        }
    }
}

std::shared_ptr<TIdFTPListItems> BuildListingEntries(void* sender, const std::vector<std::string>& lines,
                                                     const ListingHooks& hooks, std::optional<ListingDate> today,
                                                     std::optional<ListingFormat> forced) {
    std::shared_ptr<TIdFTPListItems> list;
    if (hooks.OnCreateFTPList) hooks.OnCreateFTPList(sender, list);
    if (!list) list = std::make_shared<TIdFTPListItems>();
    if (hooks.OnParseCustomListFormat) list->OnParseCustomListFormat = hooks.OnParseCustomListFormat;
    if (today) list->Today = today;
    if (lines.empty()) return list;
    // A blank first line says nothing about the format; decide on the first real one.
    std::size_t first = firstNonBlank(lines);
    if (first == lines.size()) first = 0;
    ListingFormat format = forced ? *forced : TIdFTPListItems::CheckListFormat(lines[first], true);
    if (!forced && format == FormatUnknown && isCountLine(lines[first])) {
        // "insgesamt 20": ls's count line in another language; the line after it decides.
        std::size_t second = first + 1;
        while (second < lines.size() && isBlankLine(lines[second])) ++second;
        if (second < lines.size() && TIdFTPListItems::CheckListFormat(lines[second], true) == FormatUnix)
            format = FormatUnix;
    }
    if (hooks.OnCheckListFormat) hooks.OnCheckListFormat(sender, lines[first], format);
    list->ListFormat = format;
    list->LoadList(lines);
    return list;
}

std::vector<std::string> SplitListingLines(std::string_view text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' || text[i] == '\n') {
            lines.emplace_back(text.substr(start, i - start));
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            start = i + 1;
        }
    }
    if (start < text.size()) lines.emplace_back(text.substr(start));
    return lines;
}
