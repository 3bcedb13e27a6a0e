#include "rack-emulator/action.h"

#include <charconv>
#include <limits>
#include <map>

namespace rackemu {

namespace {

constexpr std::string_view spaces = " \t\r\n";
// About four months: far beyond any run, and small enough for the clock's arithmetic.
constexpr double maxSeconds = 1e7;
constexpr std::size_t maxRawBytes = 1024;

// Splits words off the front of a line; the rest stays available for texts with spaces.
class Words {
public:
    explicit Words(std::string_view line) : rest_(line) {}

    std::string_view next() {
        skipSpaces();
        const std::size_t end = std::min(rest_.find_first_of(spaces), rest_.size());
        std::string_view word = rest_.substr(0, end);
        rest_.remove_prefix(end);
        return word;
    }
    std::string_view peek() const { return Words(rest_).next(); }
    std::string_view required(const char* what) {
        std::string_view word = next();
        if (word.empty()) throw ActionError(std::string("missing ") + what);
        return word;
    }
    std::string_view rest() {
        skipSpaces();
        const std::size_t end = rest_.find_last_not_of(spaces);
        std::string_view text = rest_.substr(0, end == std::string_view::npos ? 0 : end + 1);
        rest_ = {};
        return text;
    }
    void finish() {
        if (!next().empty()) throw ActionError("unexpected text after the action");
    }

private:
    void skipSpaces() {
        rest_.remove_prefix(std::min(rest_.find_first_not_of(spaces), rest_.size()));
    }
    std::string_view rest_;
};

const std::map<std::string_view, Verb>& verbs() {
    static const std::map<std::string_view, Verb> table = {
        {"set", Verb::Set},       {"move", Verb::Set},        {"unset", Verb::Unset},
        {"press", Verb::Press},   {"release", Verb::Release}, {"hold", Verb::Hold},
        {"turn", Verb::Turn},     {"raw", Verb::Raw},         {"rawhex", Verb::Raw},
        {"period", Verb::Period}, {"pause", Verb::Pause},     {"resume", Verb::Resume},
        {"mark", Verb::Mark},     {"quit", Verb::Quit}};
    return table;
}

std::int32_t parseInt32(std::string_view word, const char* what) {
    long long value = 0;
    const auto parsed = std::from_chars(word.data(), word.data() + word.size(), value);
    if (parsed.ec != std::errc() || parsed.ptr != word.data() + word.size() ||
        value < std::numeric_limits<std::int32_t>::min() ||
        value > std::numeric_limits<std::int32_t>::max()) {
        throw ActionError(std::string("not a 32-bit integer ") + what + ": " + std::string(word));
    }
    return static_cast<std::int32_t>(value);
}

}  // namespace

double parseSeconds(std::string_view word) {
    double value = 0;
    const auto parsed = std::from_chars(word.data(), word.data() + word.size(), value);
    if (parsed.ec != std::errc() || parsed.ptr != word.data() + word.size() ||
        !(value >= 0 && value <= maxSeconds)) {
        throw ActionError("not a time in seconds: " + std::string(word));
    }
    return value;
}

std::int32_t parsePeriodMs(std::string_view word) {
    const std::int32_t period = parseInt32(word, "period");
    if (period < 1 || period > 60000) throw ActionError("period out of 1..60000 ms");
    return period;
}

namespace {

RackKind parseRack(Words& words) {
    const std::string_view name = words.required("rack name");
    const auto rack = rackFromName(name);
    if (!rack) throw ActionError("unknown rack: " + std::string(name));
    return *rack;
}

// Names the panel field of a set, press, release, hold or turn, and checks that the verb
// suits it: knobs turn, switches are pressed, any field may be set.
void parseTarget(Words& words, Action& action) {
    action.target = words.required("member or field");
    if (!isPanel(action.rack)) {
        if (action.verb == Verb::Turn) throw ActionError("turn needs a panel knob");
        return;
    }
    if (action.verb == Verb::Unset) throw ActionError("unset needs a text rack member");
    action.field = findField(panelInputLayout(action.rack), action.target);
    if (action.field == nullptr) throw ActionError("unknown field: " + action.target);
    action.target = action.field->name;
    const bool knob = action.field->kind == FieldKind::Knob;
    if (action.verb == Verb::Turn && !knob) throw ActionError("not a knob: " + action.target);
    const bool switching =
        action.verb == Verb::Press || action.verb == Verb::Release || action.verb == Verb::Hold;
    if (switching && action.field->kind != FieldKind::Switch) {
        throw ActionError("not a switch: " + action.target);
    }
}

void parseSetValue(Words& words, Action& action) {
    const std::string_view text = words.rest();
    if (text.empty()) throw ActionError("missing value");
    if (isPanel(action.rack)) {
        action.number = parseInt32(text, "value");
        return;
    }
    try {
        action.value = Json::parse(text);
    } catch (const Json::parse_error&) {
        throw ActionError("not a JSON value: " + std::string(text));
    }
}

void parseRaw(std::string_view verbWord, Words& words, Action& action) {
    const std::string_view text = words.rest();
    if (text.empty()) throw ActionError("missing raw bytes");
    if (verbWord == "raw") {
        action.payload = bytesOf(text);
        return;
    }
    auto bytes = fromHex(text);
    if (!bytes || bytes->empty()) throw ActionError("not hexadecimal bytes: " + std::string(text));
    action.payload = std::move(*bytes);
}

// A raw message must fit the line's buffer with room to spare, or it could never be sent.
void checkRawLength(const Action& action) {
    if (action.payload.size() > maxRawBytes) {
        throw ActionError("raw message longer than " + std::to_string(maxRawBytes) + " bytes");
    }
}

void parseRackArguments(std::string_view verbWord, Words& words, Action& action) {
    action.rack = parseRack(words);
    switch (action.verb) {
        case Verb::Set:
            parseTarget(words, action);
            parseSetValue(words, action);
            return;
        case Verb::Unset:
        case Verb::Press:
        case Verb::Release:
            parseTarget(words, action);
            break;
        case Verb::Hold:
            parseTarget(words, action);
            action.seconds = parseSeconds(words.required("hold time"));
            break;
        case Verb::Turn:
            parseTarget(words, action);
            action.number = parseInt32(words.required("detents"), "detent count");
            break;
        case Verb::Raw:
            parseRaw(verbWord, words, action);
            checkRawLength(action);
            return;
        case Verb::Period:
            action.number = parsePeriodMs(words.required("period"));
            break;
        default:
            break;
    }
    words.finish();
}

}  // namespace

bool isBlankOrComment(std::string_view line) {
    const std::size_t first = line.find_first_not_of(spaces);
    return first == std::string_view::npos || line[first] == '#';
}

TimedAction parseActionLine(std::string_view line) {
    TimedAction timed;
    Words words(line);
    const std::string_view first = words.peek();
    if (!first.empty() &&
        (first[0] == '+' || first[0] == '.' || (first[0] >= '0' && first[0] <= '9'))) {
        words.next();
        timed.base = first[0] == '+' ? TimeBase::Previous : TimeBase::Start;
        timed.seconds = parseSeconds(first[0] == '+' ? first.substr(1) : first);
    }
    Action& action = timed.action;
    const std::string_view verbWord = words.required("action");
    const auto verb = verbs().find(verbWord);
    if (verb == verbs().end()) throw ActionError("unknown action: " + std::string(verbWord));
    action.verb = verb->second;
    if (action.verb == Verb::Mark) {
        action.text = words.rest();
    } else if (action.verb == Verb::Quit) {
        words.finish();
    } else {
        parseRackArguments(verbWord, words, action);
    }
    if (action.verb != Verb::Mark) action.text = std::string(Words(line).rest());
    return timed;
}

}  // namespace rackemu
