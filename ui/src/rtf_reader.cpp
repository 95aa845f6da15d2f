#include "ui/rtf_reader.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace korv {
namespace {

// Deeper groups are still balanced but share their parent's state, so a
// hostile file cannot make the state stack grow without bound.
constexpr std::size_t kMaxDepth = 256;
constexpr std::size_t kMaxWordLength = 32;
constexpr char32_t kReplacement = 0xFFFD;

// Windows-1252 for 0x80..0x9F; the rest of the upper half is Latin-1.
constexpr std::array<char16_t, 32> kCp1252High = {
    0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD,
    0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};

char32_t FromCp1252(unsigned char c) {
    if (c >= 0x80 && c < 0xA0) {
        return kCp1252High[c - 0x80];
    }
    return c;
}

void AppendUtf8(std::string& out, char32_t cp) {
    if ((cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) {
        cp = kReplacement;
    }
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool IsSkippedDestination(std::string_view word) {
    static constexpr std::string_view kDestinations[] = {
        "author", "bkmkend", "bkmkstart", "colortbl", "comment", "datastore", "doccomm",
        "filetbl", "fldinst", "fonttbl", "footer", "footerf", "footerl", "footerr",
        "footnote", "generator", "header", "headerf", "headerl", "headerr", "info",
        "latentstyles", "listoverridetable", "listtable", "object", "operator", "pict",
        "revtbl", "rsidtbl", "stylesheet", "themedata", "title", "xmlnstbl"};
    return std::find(std::begin(kDestinations), std::end(kDestinations), word) !=
           std::end(kDestinations);
}

struct GroupState {
    bool bold = false;
    bool italic = false;
    bool skip = false;  // inside a destination whose text is not shown
    int ucSkip = 1;     // fallback characters after each \u
};

class Reader {
public:
    explicit Reader(std::string_view data) : data_(data) {}

    std::vector<RtfRun> Run() {
        while (pos_ < data_.size()) {
            const char c = data_[pos_++];
            switch (c) {
                case '{': OpenGroup(); break;
                case '}': CloseGroup(); break;
                case '\\': ControlSequence(); break;
                case '\r':
                case '\n': break;  // raw line ends are only source layout
                default: Text(FromCp1252(static_cast<unsigned char>(c))); break;
            }
        }
        FlushSurrogate();
        return std::move(runs_);
    }

private:
    void OpenGroup() {
        FlushSurrogate();
        pendingSkip_ = 0;
        if (stack_.size() < kMaxDepth) {
            stack_.push_back(state_);
        } else {
            ++overflowDepth_;
        }
    }

    void CloseGroup() {
        FlushSurrogate();
        pendingSkip_ = 0;
        if (overflowDepth_ > 0) {
            --overflowDepth_;
        } else if (!stack_.empty()) {
            state_ = stack_.back();
            stack_.pop_back();
        }
        // A surplus '}' is ignored: the text after it is still worth showing.
    }

    void ControlSequence() {
        if (pos_ >= data_.size()) {
            return;
        }
        const char c = data_[pos_];
        if (!IsLetter(c)) {
            ++pos_;
            ControlSymbol(c);
            return;
        }
        const std::size_t start = pos_;
        while (pos_ < data_.size() && IsLetter(data_[pos_])) {
            ++pos_;
        }
        const std::string_view word = data_.substr(start, pos_ - start);
        bool hasParam = false;
        bool negative = false;
        std::int64_t param = 0;
        if (pos_ < data_.size() && data_[pos_] == '-' && pos_ + 1 < data_.size() &&
            IsDigit(data_[pos_ + 1])) {
            negative = true;
            ++pos_;
        }
        while (pos_ < data_.size() && IsDigit(data_[pos_])) {
            hasParam = true;
            // Clamped, so that absurdly long numbers cannot overflow.
            param = std::min<std::int64_t>(param * 10 + (data_[pos_] - '0'), 0x7FFFFFFF);
            ++pos_;
        }
        if (pos_ < data_.size() && data_[pos_] == ' ') {
            ++pos_;  // the delimiting blank belongs to the control word
        }
        if (word.size() > kMaxWordLength) {
            return;
        }
        ControlWord(word, hasParam, negative ? -param : param);
    }

    void ControlSymbol(char c) {
        switch (c) {
            case '\\': case '{': case '}': Text(static_cast<unsigned char>(c)); break;
            case '~': Text(0x00A0); break;
            case '_': Text(0x2011); break;
            case '-': break;  // optional hyphen
            case '*': state_.skip = true; break;
            case '\r': case '\n': Text('\n'); break;
            case '\'': HexCharacter(); break;
            default: break;
        }
    }

    void HexCharacter() {
        if (pos_ + 1 >= data_.size()) {
            pos_ = data_.size();
            return;
        }
        const int hi = HexValue(data_[pos_]);
        const int lo = HexValue(data_[pos_ + 1]);
        if (hi < 0 || lo < 0) {
            return;  // not a hex escape: leave the bytes to be read as text
        }
        pos_ += 2;
        Text(FromCp1252(static_cast<unsigned char>(hi * 16 + lo)));
    }

    void ControlWord(std::string_view word, bool hasParam, std::int64_t param) {
        if (IsSkippedDestination(word)) {
            state_.skip = true;
            return;
        }
        if (word == "par" || word == "line" || word == "sect" || word == "page") {
            Text('\n');
        } else if (word == "tab") {
            Text('\t');
        } else if (word == "b") {
            state_.bold = !hasParam || param != 0;
        } else if (word == "i") {
            state_.italic = !hasParam || param != 0;
        } else if (word == "plain") {
            state_.bold = state_.italic = false;
        } else if (word == "uc") {
            state_.ucSkip = static_cast<int>(std::clamp<std::int64_t>(param, 0, 16));
        } else if (word == "u") {
            Unicode(param);
        } else if (word == "bin") {
            // Raw bytes follow; never step past the end of the data.
            const std::size_t n = param > 0 ? static_cast<std::size_t>(param) : 0;
            pos_ += std::min(n, data_.size() - pos_);
        } else if (word == "emdash") {
            Text(0x2014);
        } else if (word == "endash") {
            Text(0x2013);
        } else if (word == "bullet") {
            Text(0x2022);
        } else if (word == "lquote") {
            Text(0x2018);
        } else if (word == "rquote") {
            Text(0x2019);
        } else if (word == "ldblquote") {
            Text(0x201C);
        } else if (word == "rdblquote") {
            Text(0x201D);
        } else if (word == "emspace" || word == "enspace" || word == "qmspace") {
            Text(' ');
        }
    }

    void Unicode(std::int64_t param) {
        // \u takes a signed 16-bit value; negative values stand for the upper half.
        char32_t unit = static_cast<char32_t>((param % 65536 + 65536) % 65536);
        if (unit >= 0xDC00 && unit <= 0xDFFF && highSurrogate_ != 0) {
            const char32_t cp = 0x10000 + ((highSurrogate_ - 0xD800) << 10) + (unit - 0xDC00);
            highSurrogate_ = 0;
            Emit(cp);
        } else {
            FlushSurrogate();
            if (unit >= 0xD800 && unit <= 0xDBFF) {
                highSurrogate_ = unit;
            } else {
                Emit(unit);
            }
        }
        pendingSkip_ = state_.ucSkip;
    }

    void FlushSurrogate() {
        if (highSurrogate_ != 0) {
            highSurrogate_ = 0;
            Emit(kReplacement);
        }
    }

    // A character of the document's text: first it may be a fallback of the
    // preceding \u, which is dropped.
    void Text(char32_t cp) {
        if (pendingSkip_ > 0) {
            --pendingSkip_;
            return;
        }
        FlushSurrogate();
        Emit(cp);
    }

    void Emit(char32_t cp) {
        if (state_.skip) {
            return;
        }
        if (runs_.empty() || runs_.back().bold != state_.bold || runs_.back().italic != state_.italic) {
            runs_.push_back(RtfRun{{}, state_.bold, state_.italic});
        }
        AppendUtf8(runs_.back().text, cp);
    }

    std::string_view data_;
    std::size_t pos_ = 0;
    GroupState state_;
    std::vector<GroupState> stack_;
    std::size_t overflowDepth_ = 0;
    int pendingSkip_ = 0;
    char32_t highSurrogate_ = 0;
    std::vector<RtfRun> runs_;
};

}  // namespace

std::vector<RtfRun> ReadRtf(std::string_view data) { return Reader(data).Run(); }

std::string RtfPlainText(const std::vector<RtfRun>& runs) {
    std::string text;
    for (const RtfRun& run : runs) {
        text += run.text;
    }
    return text;
}

}  // namespace korv
