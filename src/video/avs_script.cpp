#include "video/avs_script.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cmath>
#include <map>
#include <optional>
#include <vector>

#include "platform/file_io.h"
#include "platform/numtext.h"

namespace video {

namespace {

// ---- values -------------------------------------------------------------------

enum class Kind { Void, Clip, Int, Float, String, Bool };

struct Value {
    Kind kind = Kind::Void;
    ClipPtr clip;
    int64_t i = 0;
    double f = 0;
    std::string s;
    bool b = false;

    static Value OfClip(ClipPtr c) { Value v; v.kind = Kind::Clip; v.clip = std::move(c); return v; }
    static Value OfInt(int64_t x) { Value v; v.kind = Kind::Int; v.i = x; return v; }
    static Value OfFloat(double x) { Value v; v.kind = Kind::Float; v.f = x; return v; }
    static Value OfString(std::string x) { Value v; v.kind = Kind::String; v.s = std::move(x); return v; }
    static Value OfBool(bool x) { Value v; v.kind = Kind::Bool; v.b = x; return v; }
    bool IsNumber() const { return kind == Kind::Int || kind == Kind::Float; }
    double Number() const { return kind == Kind::Int ? static_cast<double>(i) : f; }
};

const char* KindName(Kind k) {
    switch (k) {
        case Kind::Void: return "nothing";
        case Kind::Clip: return "a clip";
        case Kind::Int: return "a whole number";
        case Kind::Float: return "a number";
        case Kind::String: return "a string";
        case Kind::Bool: return "true or false";
    }
    return "?";
}

struct ScriptError {
    int line;
    std::string message;
};

[[noreturn]] void Fail(int line, std::string message) { throw ScriptError{line, std::move(message)}; }

std::string Lower(std::string_view s) {
    std::string r(s);
    for (char& c : r) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return r;
}

// ---- tokens ---------------------------------------------------------------------

enum class Tok { Ident, Int, Float, String, Op, Newline, End };

struct Token {
    Tok kind;
    std::string text;  // identifier, string contents, operator, number as written
    int line;
    int64_t i = 0;
    double f = 0;
};

std::string Describe(const Token& t) {
    switch (t.kind) {
        case Tok::Ident: return "\"" + t.text + "\"";
        case Tok::Int:
        case Tok::Float: return t.text;
        case Tok::String: return "the string \"" + t.text.substr(0, 40) + (t.text.size() > 40 ? "..." : "") + "\"";
        case Tok::Op: return "'" + t.text + "'";
        case Tok::Newline: return "the end of the line";
        case Tok::End: return "the end of the script";
    }
    return "?";
}

std::string ShowChar(unsigned char c) {
    if (c >= 32 && c < 127) return std::string("'") + static_cast<char>(c) + "'";
    static const char* hex = "0123456789ABCDEF";
    return std::string("the byte 0x") + hex[c >> 4] + hex[c & 15];
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\f' || c == '\v'; }
bool IsIdentStart(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_'; }
bool IsIdentChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::vector<Token> Tokenize(std::string_view src) {
    std::vector<Token> out;
    int line = 1;
    size_t i = 0;
    bool lineStart = true;  // only blanks so far on this line
    auto newline = [&](size_t& at) {
        if (src[at] == '\r' && at + 1 < src.size() && src[at + 1] == '\n') ++at;
        ++at;
        ++line;
        lineStart = true;
    };
    while (i < src.size()) {
        const char c = src[i];
        if (IsBlank(c)) {
            ++i;
            continue;
        }
        if (c == '\n' || c == '\r') {
            if (!out.empty() && out.back().kind != Tok::Newline) out.push_back({Tok::Newline, "", line});
            newline(i);
            continue;
        }
        if (c == '#') {
            while (i < src.size() && src[i] != '\n' && src[i] != '\r') ++i;
            continue;
        }
        if (c == '\\') {
            size_t j = i + 1;
            while (j < src.size() && IsBlank(src[j])) ++j;
            if (j >= src.size() || src[j] == '\n' || src[j] == '\r') {
                // Continued on the next line.
                i = j;
                if (i < src.size()) newline(i);
                lineStart = false;
                continue;
            }
            if (lineStart) {
                // Continues the line before.
                while (!out.empty() && out.back().kind == Tok::Newline) out.pop_back();
                ++i;
                lineStart = false;
                continue;
            }
            Fail(line, "a '\\' that neither ends nor starts a line is not understood");
        }
        lineStart = false;
        const int at = line;
        if (c == '"') {
            if (src.substr(i, 3) == "\"\"\"") {
                const size_t end = src.find("\"\"\"", i + 3);
                if (end == std::string_view::npos) Fail(at, "a string opened with \"\"\" is not closed");
                std::string text(src.substr(i + 3, end - i - 3));
                for (size_t k = i + 3; k < end; ++k)
                    if (src[k] == '\n' || (src[k] == '\r' && (k + 1 >= end || src[k + 1] != '\n'))) ++line;
                out.push_back({Tok::String, std::move(text), at});
                i = end + 3;
                continue;
            }
            size_t end = i + 1;
            while (end < src.size() && src[end] != '"' && src[end] != '\n' && src[end] != '\r') ++end;
            if (end >= src.size() || src[end] != '"') Fail(at, "a string is not closed on its line");
            out.push_back({Tok::String, std::string(src.substr(i + 1, end - i - 1)), at});
            i = end + 1;
            continue;
        }
        if (IsDigit(c) || (c == '.' && i + 1 < src.size() && IsDigit(src[i + 1]))) {
            size_t end = i;
            while (end < src.size() && IsDigit(src[end])) ++end;
            bool decimal = false;
            if (end + 1 < src.size() && src[end] == '.' && IsDigit(src[end + 1])) {
                decimal = true;
                ++end;
                while (end < src.size() && IsDigit(src[end])) ++end;
            }
            if (end < src.size() && IsIdentChar(src[end]))
                Fail(at, "the number " + std::string(src.substr(i, end - i + 1)) + " is not understood");
            Token t{decimal ? Tok::Float : Tok::Int, std::string(src.substr(i, end - i)), at};
            if (t.text.size() > 40) Fail(at, "the number " + t.text.substr(0, 40) + "... is too long");
            if (decimal) {
                std::optional<double> v = numtext::ParseFloat(t.text);
                if (!v) Fail(at, "the number " + t.text + " is not understood");
                t.f = *v;
            } else {
                for (char d : t.text) {
                    t.i = t.i * 10 + (d - '0');
                    if (t.i > INT32_MAX) Fail(at, "the number " + t.text + " is too large");
                }
            }
            out.push_back(std::move(t));
            i = end;
            continue;
        }
        if (IsIdentStart(c)) {
            size_t end = i;
            while (end < src.size() && IsIdentChar(src[end])) ++end;
            if (end - i > 64) Fail(at, "the name " + std::string(src.substr(i, 64)) + "... is too long");
            out.push_back({Tok::Ident, std::string(src.substr(i, end - i)), at});
            i = end;
            continue;
        }
        if (std::string_view("+-*/%(),.=").find(c) != std::string_view::npos) {
            out.push_back({Tok::Op, std::string(1, c), at});
            ++i;
            continue;
        }
        Fail(at, "the character " + ShowChar(static_cast<unsigned char>(c)) + " is not understood");
    }
    out.push_back({Tok::End, "", line});
    return out;
}

// ---- arguments ----------------------------------------------------------------

struct Arg {
    std::string name;  // empty when positional
    Value value;
    int line;
};

// One parameter of a function. Type letters: c clip, i whole number, f number,
// s string, b boolean, a anything; `unsupported` parameters are known by name and
// position but refused when given.
struct Param {
    const char* name;
    char type;
    bool required = false;
    bool unsupported = false;
};

bool TypeFits(char type, const Value& v) {
    switch (type) {
        case 'c': return v.kind == Kind::Clip;
        case 'i': return v.kind == Kind::Int;
        case 'f': return v.IsNumber();
        case 's': return v.kind == Kind::String;
        case 'b': return v.kind == Kind::Bool;
        default: return v.kind != Kind::Void;
    }
}

const char* TypeName(char type) {
    switch (type) {
        case 'c': return "a clip";
        case 'i': return "a whole number";
        case 'f': return "a number";
        case 's': return "a string";
        case 'b': return "true or false";
        default: return "a value";
    }
}

using Bound = std::vector<std::optional<Value>>;

// ---- the interpreter ------------------------------------------------------------

class Interpreter {
public:
    Interpreter(std::vector<Token> tokens, std::string folder, const ScriptFiles& files)
        : toks_(std::move(tokens)), folder_(std::move(folder)), files_(files) {
        if (!folder_.empty() && folder_.back() != '/') folder_ += '/';
    }

    ClipPtr Run() {
        while (Peek().kind != Tok::End) {
            if (Peek().kind == Tok::Newline) {
                ++pos_;
                continue;
            }
            Statement();
        }
        if (!last_) Fail(Peek().line, "the script ends without giving a video clip");
        return last_;
    }

private:
    const Token& Peek(size_t ahead = 0) const { return toks_[std::min(pos_ + ahead, toks_.size() - 1)]; }
    const Token& Next() {
        const Token& t = Peek();
        if (pos_ < toks_.size() - 1) ++pos_;
        return t;
    }
    bool IsOp(const Token& t, char op) const { return t.kind == Tok::Op && t.text[0] == op; }
    void Expect(char op, const char* what) {
        const Token& t = Next();
        if (!IsOp(t, op)) Fail(t.line, std::string("expected ") + what + " but found " + Describe(t));
    }

    void Statement() {
        const Token& first = Peek();
        if (first.kind == Tok::Ident && IsOp(Peek(1), '=')) {
            const std::string name = Lower(first.text);
            pos_ += 2;
            Value v = Expression(0);
            if (v.kind == Kind::Void) Fail(first.line, "\"" + first.text + "\" cannot be given nothing");
            if (name == "last") {
                if (v.kind != Kind::Clip) Fail(first.line, "last can only be a clip");
                last_ = v.clip;
            } else {
                if (vars_.size() >= 1000 && !vars_.count(name)) Fail(first.line, "the script has too many variables");
                vars_[name] = std::move(v);
            }
        } else {
            Value v = Expression(0);
            if (v.kind == Kind::Clip) last_ = v.clip;
        }
        const Token& end = Next();
        if (end.kind != Tok::Newline && end.kind != Tok::End)
            Fail(end.line, Describe(end) + " is not understood after the end of a statement");
    }

    void Nest(int depth, int line) {
        if (depth > kMaxNesting) Fail(line, "the expression is nested too deeply");
    }

    Value Expression(int depth) {
        Nest(depth, Peek().line);
        Value v = Term(depth);
        while (IsOp(Peek(), '+') || IsOp(Peek(), '-')) {
            const Token& op = Next();
            Value r = Term(depth);
            v = Arithmetic(op, v, r);
        }
        return v;
    }

    Value Term(int depth) {
        Value v = Unary(depth);
        while (IsOp(Peek(), '*') || IsOp(Peek(), '/') || IsOp(Peek(), '%')) {
            const Token& op = Next();
            Value r = Unary(depth);
            v = Arithmetic(op, v, r);
        }
        return v;
    }

    Value Unary(int depth) {
        if (IsOp(Peek(), '-') || IsOp(Peek(), '+')) {
            const Token& op = Next();
            Nest(depth + 1, op.line);
            Value v = Unary(depth + 1);
            if (!v.IsNumber()) Fail(op.line, std::string("a sign in front of ") + KindName(v.kind) + " is not understood");
            if (op.text[0] == '-') {
                if (v.kind == Kind::Int) v.i = -v.i;
                else v.f = -v.f;
            }
            return v;
        }
        return Postfix(depth);
    }

    Value Arithmetic(const Token& op, const Value& a, const Value& b) {
        const char o = op.text[0];
        if (o == '+' && a.kind == Kind::String && b.kind == Kind::String) {
            if (a.s.size() + b.s.size() > 4096) Fail(op.line, "a string is too long");
            return Value::OfString(a.s + b.s);
        }
        if (!a.IsNumber() || !b.IsNumber())
            Fail(op.line, std::string("'") + o + "' between " + KindName(a.kind) + " and " + KindName(b.kind) +
                              " is not understood");
        if (a.kind == Kind::Int && b.kind == Kind::Int) {
            int64_t r = 0;
            switch (o) {
                case '+': r = a.i + b.i; break;
                case '-': r = a.i - b.i; break;
                case '*': r = a.i * b.i; break;
                default:
                    if (b.i == 0) Fail(op.line, "division by zero");
                    r = o == '/' ? a.i / b.i : a.i % b.i;
            }
            if (r > INT32_MAX || r < INT32_MIN) Fail(op.line, "the result of '" + op.text + "' is too large");
            return Value::OfInt(r);
        }
        const double x = a.Number(), y = b.Number();
        double r = 0;
        switch (o) {
            case '+': r = x + y; break;
            case '-': r = x - y; break;
            case '*': r = x * y; break;
            default:
                if (y == 0) Fail(op.line, "division by zero");
                r = o == '/' ? x / y : std::fmod(x, y);
        }
        if (!std::isfinite(r)) Fail(op.line, "the result of '" + op.text + "' is too large");
        return Value::OfFloat(r);
    }

    Value Postfix(int depth) {
        Value v = Primary(depth);
        while (IsOp(Peek(), '.')) {
            const Token& dot = Next();
            const Token& name = Next();
            if (name.kind != Tok::Ident) Fail(dot.line, "expected a function name after '.' but found " + Describe(name));
            std::vector<Arg> args;
            args.push_back({"", std::move(v), dot.line});
            if (IsOp(Peek(), '(')) Arguments(args, depth);
            v = Call(name, std::move(args));
        }
        return v;
    }

    Value Primary(int depth) {
        const Token& t = Next();
        switch (t.kind) {
            case Tok::Int: return Value::OfInt(t.i);
            case Tok::Float: return Value::OfFloat(t.f);
            case Tok::String: return Value::OfString(t.text);
            case Tok::Op:
                if (t.text[0] == '(') {
                    Nest(depth + 1, t.line);
                    Value v = Expression(depth + 1);
                    Expect(')', "')'");
                    return v;
                }
                break;
            case Tok::Ident: {
                const std::string name = Lower(t.text);
                if (name == "true") return Value::OfBool(true);
                if (name == "false") return Value::OfBool(false);
                std::vector<Arg> args;
                if (IsOp(Peek(), '(')) {
                    Nest(depth + 1, t.line);
                    Arguments(args, depth + 1);
                    return Call(t, std::move(args));
                }
                if (name == "last") {
                    if (!last_) Fail(t.line, "there is no clip before this line for last");
                    return Value::OfClip(last_);
                }
                auto var = vars_.find(name);
                if (var != vars_.end()) return var->second;
                return Call(t, std::move(args));
            }
            default: break;
        }
        Fail(t.line, Describe(t) + " is not understood here");
    }

    // '(' [arg {',' arg}] ')'
    void Arguments(std::vector<Arg>& args, int depth) {
        Expect('(', "'('");
        if (IsOp(Peek(), ')')) {
            Next();
            return;
        }
        for (;;) {
            const Token& t = Peek();
            Arg a{"", Value(), t.line};
            if (t.kind == Tok::Ident && IsOp(Peek(1), '=')) {
                a.name = t.text;
                pos_ += 2;
            }
            a.value = Expression(depth + 1);
            if (args.size() >= 64) Fail(t.line, "a call has too many arguments");
            args.push_back(std::move(a));
            const Token& sep = Next();
            if (IsOp(sep, ')')) return;
            if (!IsOp(sep, ',')) Fail(sep.line, "expected ',' or ')' but found " + Describe(sep));
        }
    }

    // Matches the arguments to the parameters; a missing leading clip is `last`.
    Bound Bind(const std::string& fn, int line, const std::vector<Param>& params, std::vector<Arg>& args) {
        if (!params.empty() && params[0].type == 'c') {
            const bool hasClip = !args.empty() && args[0].name.empty() && args[0].value.kind == Kind::Clip;
            if (!hasClip) {
                if (!last_) Fail(line, fn + " has no clip to work on");
                args.insert(args.begin(), Arg{"", Value::OfClip(last_), line});
            }
        }
        Bound out(params.size());
        size_t positional = 0;
        for (Arg& a : args) {
            size_t k = 0;
            if (a.name.empty()) {
                k = positional++;
                if (k >= params.size()) Fail(a.line, fn + " takes at most " + std::to_string(params.size()) + " arguments");
            } else {
                const std::string want = Lower(a.name);
                while (k < params.size() && Lower(params[k].name) != want) ++k;
                if (k >= params.size()) Fail(a.line, fn + " has no argument named " + a.name);
                if (out[k]) Fail(a.line, fn + ": the argument " + params[k].name + " is given twice");
            }
            const Param& p = params[k];
            if (p.unsupported) Fail(a.line, fn + ": the argument " + std::string(p.name) + " is not supported");
            if (!TypeFits(p.type, a.value))
                Fail(a.line, fn + ": the argument " + p.name + " must be " + TypeName(p.type) + ", not " +
                                 KindName(a.value.kind));
            out[k] = std::move(a.value);
        }
        for (size_t k = 0; k < params.size(); ++k)
            if (params[k].required && !out[k]) Fail(line, fn + " needs the argument " + params[k].name);
        return out;
    }

    std::string Resolve(const std::string& file) const {
        if (file.empty() || file[0] == '/') return file;
        return folder_ + file;
    }

    void CountClip(int line) {
        if (++clips_ > kMaxClips) Fail(line, "the script uses too many sources and filters");
    }

    ClipPtr OpenSource(const std::string& fn, int line, const std::string& file) {
        if (file.empty()) Fail(line, fn + " needs a file name");
        if (++sources_ > kMaxSources) Fail(line, "the script opens more than " + std::to_string(kMaxSources) + " video files");
        CountClip(line);
        std::string err;
        ClipPtr c = files_.openVideo ? files_.openVideo(Resolve(file), err) : nullptr;
        if (!c) Fail(line, fn + ": " + (err.empty() ? "could not open " + file : err));
        if (c->Width() <= 0 || c->Height() <= 0 || c->FrameCount() < 1)
            Fail(line, fn + ": " + file + " has no frames");
        return c;
    }

    static void CheckPixelType(const std::string& fn, int line, const std::optional<Value>& v) {
        if (!v) return;
        static const char* known[] = {"rgb24", "rgb32", "rgb", "yuy2", "yv12", "yv16", "yv24", "yv411",
                                      "y8",    "auto",  "full", "argb", "i420"};
        const std::string t = Lower(v->s);
        for (const char* k : known)
            if (t == k) return;
        Fail(line, fn + ": the pixel type \"" + v->s + "\" is not understood");
    }

    static double CheckRate(const std::string& fn, int line, double fps) {
        if (!(fps > 0) || fps > 1e6) Fail(line, fn + ": the frame rate must be above 0 and at most 1000000");
        return fps;
    }

    Value Call(const Token& nameTok, std::vector<Arg> args) {
        const std::string fn = nameTok.text;
        const std::string name = Lower(fn);
        const int line = nameTok.line;

        if (name == "directshowsource") {
            static const std::vector<Param> p = {
                {"filename", 's', true},   {"fps", 'f'},       {"seek", 'b'},       {"audio", 'b'},
                {"video", 'b'},            {"convertfps", 'b'}, {"seekzero", 'b'},  {"timeout", 'i'},
                {"pixel_type", 's'},       {"framecount", 'i', false, true},       {"logfile", 's', false, true},
                {"logmask", 'i', false, true}};
            Bound b = Bind(fn, line, p, args);
            if (b[4] && !b[4]->b) Fail(line, fn + ": video=false gives no frames to read");
            CheckPixelType(fn, line, b[8]);
            ClipPtr c = OpenSource(fn, line, b[0]->s);
            if (b[1]) {
                CountClip(line);
                c = std::make_shared<RateClip>(c, CheckRate(fn, line, b[1]->Number()));
            }
            return Value::OfClip(c);
        }
        if (name == "avisource" || name == "opendmlsource") {
            std::vector<std::string> names;
            size_t k = 0;
            while (k < args.size() && args[k].name.empty() && args[k].value.kind == Kind::String)
                names.push_back(args[k++].value.s);
            args.erase(args.begin(), args.begin() + static_cast<long>(k));
            if (names.empty()) Fail(line, fn + " needs a file name");
            static const std::vector<Param> p = {{"audio", 'b'},
                                                 {"pixel_type", 's'},
                                                 {"fourCC", 's', false, true},
                                                 {"vtrack", 'i', false, true},
                                                 {"atrack", 'i', false, true}};
            for (const Arg& a : args)
                if (a.name.empty()) Fail(a.line, fn + ": only file names can be given without a name");
            Bound b = Bind(fn, line, p, args);
            CheckPixelType(fn, line, b[1]);
            std::vector<ClipPtr> parts;
            for (const std::string& n : names) {
                parts.push_back(OpenSource(fn, line, n));
                if (parts.back()->Width() != parts[0]->Width() || parts.back()->Height() != parts[0]->Height())
                    Fail(line, fn + ": " + n + " has another frame size than " + names[0]);
            }
            if (parts.size() == 1) return Value::OfClip(parts[0]);
            CountClip(line);
            return Value::OfClip(std::make_shared<SpliceClip>(std::move(parts)));
        }
        if (name == "trim") {
            static const std::vector<Param> p = {
                {"clip", 'c', true}, {"first_frame", 'i', true}, {"last_frame", 'i', true}, {"pad", 'b'}};
            Bound b = Bind(fn, line, p, args);
            ClipPtr c = b[0]->clip;
            const int64_t count = c->FrameCount();
            int64_t first = std::max<int64_t>(0, b[1]->i);
            int64_t last = b[2]->i;
            if (last == 0) last = count - 1;               // to the end
            else if (last < 0) last = first - last - 1;     // -n: n frames
            last = std::min(last, count - 1);
            if (first >= count || last < first)
                Fail(line, fn + "(" + std::to_string(b[1]->i) + ", " + std::to_string(b[2]->i) +
                               ") leaves no frames of the " + std::to_string(count));
            CountClip(line);
            return Value::OfClip(std::make_shared<TrimClip>(c, static_cast<int>(first), static_cast<int>(last)));
        }
        if (name == "crop") {
            static const std::vector<Param> p = {{"clip", 'c', true},  {"left", 'i', true},  {"top", 'i', true},
                                                 {"width", 'i', true}, {"height", 'i', true}, {"align", 'b'}};
            Bound b = Bind(fn, line, p, args);
            ClipPtr c = b[0]->clip;
            const int64_t left = b[1]->i, top = b[2]->i;
            int64_t w = b[3]->i, h = b[4]->i;
            if (w <= 0) w = c->Width() - left + w;   // 0 or -right: up to the right edge less `right`
            if (h <= 0) h = c->Height() - top + h;
            if (left < 0 || top < 0 || w <= 0 || h <= 0 || left + w > c->Width() || top + h > c->Height())
                Fail(line, fn + " reaches outside the " + std::to_string(c->Width()) + " x " +
                               std::to_string(c->Height()) + " frame");
            CountClip(line);
            return Value::OfClip(std::make_shared<CropClip>(c, static_cast<int>(left), static_cast<int>(top),
                                                            static_cast<int>(w), static_cast<int>(h)));
        }
        if (name == "converttorgb24" || name == "converttorgb32" || name == "converttorgb") {
            // Frames are 24-bit RGB already.
            static const std::vector<Param> p = {{"clip", 'c', true},
                                                 {"matrix", 's', false, true},
                                                 {"interlaced", 'b', false, true}};
            Bound b = Bind(fn, line, p, args);
            return Value::OfClip(b[0]->clip);
        }
        if (name == "assumefps") {
            static const std::vector<Param> p = {
                {"clip", 'c', true}, {"fps", 'a', true}, {"denominator", 'i'}, {"sync_audio", 'b'}};
            Bound b = Bind(fn, line, p, args);
            const Value& v = *b[1];
            double fps = 0;
            if (v.kind == Kind::String) {
                if (b[2]) Fail(line, fn + ": a preset takes no denominator");
                fps = Preset(fn, line, v.s);
            } else if (v.kind == Kind::Int) {
                const int64_t den = b[2] ? b[2]->i : 1;
                if (den <= 0) Fail(line, fn + ": the denominator must be above 0");
                fps = static_cast<double>(v.i) / static_cast<double>(den);
            } else if (v.kind == Kind::Float) {
                if (b[2]) Fail(line, fn + ": a decimal frame rate takes no denominator");
                fps = v.f;
            } else {
                Fail(line, fn + ": the frame rate must be a number or a preset name, not " + KindName(v.kind));
            }
            CountClip(line);
            return Value::OfClip(std::make_shared<RateClip>(b[0]->clip, CheckRate(fn, line, fps)));
        }
        if (name == "loadplugin") {
            // Our filters are built in.
            static const std::vector<Param> p = {{"path", 's', true}};
            Bind(fn, line, p, args);
            return Value();
        }
        if (name == "dvinfo") {
            static const std::vector<Param> p = {
                {"clip", 'c', true},      {"filename", 's', true},   {"type", 's', true},
                {"x", 'i', true},         {"y", 'i', true},          {"font", 's', true},
                {"size", 'i', true},      {"text_color", 'i', true}, {"halo_color", 'i', true},
                {"format", 's', true}};
            Bound b = Bind(fn, line, p, args);
            if (Lower(b[2]->s) != "rec_time")
                Fail(line, fn + ": the type \"" + b[2]->s + "\" is not supported, only \"rec_time\"");
            DvInfoClip::Style style;
            style.x = static_cast<int>(b[3]->i);
            style.y = static_cast<int>(b[4]->i);
            style.size = static_cast<int>(b[6]->i);
            if (style.size < 1 || style.size > 1000) Fail(line, fn + ": the size must be 1 to 1000");
            for (int k : {7, 8})
                if (b[k]->i < 0 || b[k]->i > 0xFFFFFF)
                    Fail(line, fn + ": the colour " + std::to_string(b[k]->i) + " is outside 0 to 16777215");
            style.text = static_cast<uint32_t>(b[7]->i);
            style.back = static_cast<uint32_t>(b[8]->i);
            style.format = b[9]->s;
            if (style.format.size() > 128) Fail(line, fn + ": the format is longer than 128 characters");
            CountClip(line);
            std::string err;
            std::unique_ptr<DvTimeReader> times =
                files_.openTimes ? files_.openTimes(Resolve(b[1]->s), err) : nullptr;
            if (!times) Fail(line, fn + ": " + (err.empty() ? "could not open " + b[1]->s : err));
            return Value::OfClip(std::make_shared<DvInfoClip>(b[0]->clip, std::move(times), std::move(style)));
        }
        Fail(line, "\"" + fn + "\" is not a function or variable this program knows");
    }

    static double Preset(const std::string& fn, int line, const std::string& preset) {
        static const std::map<std::string, double> presets = {
            {"ntsc_film", 24000.0 / 1001},    {"ntsc_video", 30000.0 / 1001},   {"ntsc_double", 60000.0 / 1001},
            {"ntsc_quad", 120000.0 / 1001},   {"ntsc_round_film", 2997.0 / 125}, {"ntsc_round_video", 2997.0 / 100},
            {"ntsc_round_double", 2997.0 / 50}, {"ntsc_round_quad", 2997.0 / 25}, {"film", 24},
            {"pal_film", 25},                 {"pal_video", 25},                {"pal_double", 50},
            {"pal_quad", 100}};
        auto it = presets.find(Lower(preset));
        if (it == presets.end()) Fail(line, fn + ": the preset \"" + preset + "\" is not known");
        return it->second;
    }

    std::vector<Token> toks_;
    size_t pos_ = 0;
    std::string folder_;
    const ScriptFiles& files_;
    std::map<std::string, Value> vars_;
    ClipPtr last_;
    int clips_ = 0;
    int sources_ = 0;
};

}  // namespace

ScriptFiles ScriptFiles::Real() {
    ScriptFiles f;
    f.openVideo = [](const std::string& path, std::string& error) -> ClipPtr {
        auto c = std::make_shared<SourceClip>();
        if (!c->Open(path, error)) return nullptr;
        return c;
    };
    f.openTimes = [](const std::string& path, std::string& error) -> std::unique_ptr<DvTimeReader> {
        auto r = std::make_unique<DvTimeReader>();
        if (!r->Open(path, error)) return nullptr;
        return r;
    };
    return f;
}

ClipPtr RunAvsScript(std::string_view text, const std::string& folder, const ScriptFiles& files, std::string& error) {
    error.clear();
    if (text.size() > kMaxScriptBytes) {
        error = "The script is longer than " + std::to_string(kMaxScriptBytes) + " bytes.";
        return nullptr;
    }
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    try {
        Interpreter in(Tokenize(text), folder, files);
        return in.Run();
    } catch (const ScriptError& e) {
        error = "Line " + std::to_string(e.line) + ": " + e.message;
        if (error.back() != '.') error += '.';
    }
    return nullptr;
}

ClipPtr OpenAvsScript(const std::string& path, std::string& error) {
    std::string text;
    if (!fileio::ReadFile(path, text, error, kMaxScriptBytes + 1)) return nullptr;
    if (text.size() > kMaxScriptBytes) {
        error = fileio::ExtractFileName(path) + " is longer than " + std::to_string(kMaxScriptBytes) + " bytes.";
        return nullptr;
    }
    return RunAvsScript(text, fileio::ExtractFilePath(path), ScriptFiles::Real(), error);
}

bool IsAvsPath(const std::string& path) { return Lower(fileio::ExtractFileExt(path)) == ".avs"; }

}  // namespace video
