#include "bus/drivers/BenchFile.h"

#include "bus/sim/FileInstrument.h"
#include "bus/sim/Syntax.h"

#include <yaml-cpp/yaml.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>
#include <map>
#include <memory>

namespace bus {

namespace {

using sim::DeviceDefinition;

// What is wrong at a line of the file; caught in readBench, never further.
struct BadFile {
    int line; // from 1, or 0 when unknown
    std::string what;
};

int lineOf(const YAML::Node& node) {
    const YAML::Mark mark = node.Mark();
    return mark.is_null() ? 0 : mark.line + 1;
}

[[noreturn]] void fail(const YAML::Node& node, std::string what) {
    throw BadFile{lineOf(node), std::move(what)};
}

// What reading a bench file may build, all told: at least 64 MB, and up to
// a hundred times the file when that is more. yaml-cpp shares what an alias
// names, but every use of an alias is read here as a copy of its own, so a
// few kilobytes of aliases naming aliases would ask for gigabytes; a bench
// written by hand or from a recording stays far below either.
constexpr std::size_t kBuildLimit = std::size_t{64} << 20;
constexpr std::size_t kBuildPerFileByte = 100;

std::size_t timesSaturated(std::size_t a, std::size_t b) {
    return b != 0 && a > std::numeric_limits<std::size_t>::max() / b
               ? std::numeric_limits<std::size_t>::max()
               : a * b;
}

// Counts the bytes of what is built (texts, entries, the instruments' own
// values) and the entries walked, each use of an alias again, and stops the
// file where it passes the limit, before building it.
class Budget {
public:
    explicit Budget(std::size_t fileSize)
        : limit_(std::max(kBuildLimit, timesSaturated(fileSize, kBuildPerFileByte))) {}

    void spend(const YAML::Node& where, std::size_t bytes) {
        if (bytes <= limit_ - spent_) {
            spent_ += bytes;
            return;
        }
        fail(where, "the bench grows past " + std::to_string((limit_ + (1 << 20) - 1) >> 20) +
                        " MB here, each use of an alias counted (a bench file may build " +
                        std::to_string(kBuildLimit >> 20) + " MB, or " +
                        std::to_string(kBuildPerFileByte) + " times its size if more)");
    }
    std::size_t spent() const { return spent_; }

private:
    std::size_t limit_;
    std::size_t spent_ = 0;
};

// The handle yaml-cpp makes for each entry walked, and what a list or map
// entry of ours holds beyond its texts.
constexpr std::size_t kEntryCost = sizeof(YAML::Node);

// YAML text is UTF-8; a character up to U+00FF stands for that byte, as in
// the I/O trace, so any byte can be written. Others stay UTF-8.
std::string bytesFromUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto lead = static_cast<unsigned char>(text[i]);
        if ((lead == 0xC2 || lead == 0xC3) && i + 1 < text.size() &&
            (static_cast<unsigned char>(text[i + 1]) & 0xC0) == 0x80) {
            out += static_cast<char>(((lead & 0x03) << 6) |
                                     (static_cast<unsigned char>(text[i + 1]) & 0x3F));
            ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::string utf8FromBytes(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x80) {
            out += c;
        } else {
            out += static_cast<char>(0xC0 | (b >> 6));
            out += static_cast<char>(0x80 | (b & 0x3F));
        }
    }
    return out;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// "BYTES(aa 55 00)" stands for those raw bytes; anything else that looks
// like it stays as written. One pass, so a long text of them reads quickly.
std::string expandBytes(const std::string& text) {
    std::string out;
    std::size_t from = 0;
    std::size_t close = 0; // the first ')' at or after the last "BYTES(" seen
    bool closeKnown = false;
    for (std::size_t at; (at = text.find("BYTES(", from)) != std::string::npos;) {
        if (!closeKnown || close < at) {
            close = text.find(')', at);
            closeKnown = true;
        }
        if (close == std::string::npos) break;
        std::string bytes;
        int high = -1;
        bool good = true;
        for (std::size_t i = at + 6; i < close && good; ++i) {
            if (text[i] == ' ' || text[i] == '\t') continue;
            const int digit = hexDigit(text[i]);
            good = digit >= 0;
            if (high < 0) {
                high = digit;
            } else {
                bytes += static_cast<char>(high * 16 + digit);
                high = -1;
            }
        }
        if (!good || high >= 0 || bytes.empty()) {
            out.append(text, from, at + 6 - from);
            from = at + 6;
            continue;
        }
        out.append(text, from, at - from);
        out += bytes;
        from = close + 1;
    }
    out.append(text, from);
    return out;
}

// The entry of a mapping that must be there.
YAML::Node required(const YAML::Node& map, const char* key) {
    YAML::Node entry = map[key];
    if (!entry) fail(map, std::string("missing ") + key);
    return entry;
}

// How pyvisa-sim reads a text, beyond taking it as it is: spaces around it
// dropped (queries and answers of dialogues, getters and setters), and "\r"
// and "\n" written out as two characters standing for CR and LF (what goes
// on the bus as written: dialogues, answers, ends of message, errors).
enum Reading : unsigned { kAsIs = 0, kTrimmed = 1, kEscapes = 2, kBoth = 3 };

std::string text(Budget& budget, const YAML::Node& node, std::string_view what,
                 unsigned reading = kAsIs) {
    if (!node.IsScalar()) fail(node, std::string(what) + " must be a text");
    budget.spend(node, sizeof(std::string) + node.Scalar().size());
    std::string value = node.Scalar();
    if ((reading & kTrimmed) != 0) {
        const std::size_t first = value.find_first_not_of(' ');
        value = first == std::string::npos
                    ? std::string()
                    : value.substr(first, value.find_last_not_of(' ') + 1 - first);
    }
    if ((reading & kEscapes) != 0) {
        // One pass, so a long text of them reads quickly.
        std::string bytes;
        bytes.reserve(value.size());
        for (std::size_t i = 0; i < value.size(); ++i) {
            if (value[i] == '\\' && i + 1 < value.size() &&
                (value[i + 1] == 'r' || value[i + 1] == 'n')) {
                bytes += value[++i] == 'r' ? '\r' : '\n';
            } else {
                bytes += value[i];
            }
        }
        value = std::move(bytes);
    }
    return expandBytes(bytesFromUtf8(value));
}

// A response: absent, empty or "null_response" means none.
std::optional<std::string> response(Budget& budget, const YAML::Node& node, std::string_view what,
                                    unsigned reading = kAsIs) {
    if (!node || node.IsNull()) return std::nullopt;
    std::string value = text(budget, node, what, reading);
    if (value == "null_response") return std::nullopt;
    return value;
}

// A whole number as Python's int() reads one: blanks around it, a sign,
// digits perhaps grouped by single underscores.
std::optional<long long> wholeNumber(std::string_view text) {
    const std::size_t first = text.find_first_not_of(" \t\n\r\f\v");
    if (first == std::string_view::npos) return std::nullopt;
    text = text.substr(first, text.find_last_not_of(" \t\n\r\f\v") + 1 - first);
    const bool negative = text.starts_with('-');
    if (negative || text.starts_with('+')) text.remove_prefix(1);
    long long value = 0;
    bool digit = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '_' && digit && i + 1 < text.size() && text[i + 1] != '_') continue;
        if (c < '0' || c > '9') return std::nullopt;
        digit = true;
        // Beyond any version or register anyone writes; kept from overflowing.
        value = std::min<long long>(value * 10 + (c - '0'), 1LL << 53);
    }
    if (!digit) return std::nullopt;
    return negative ? -value : value;
}

// Each entry is walked once more by every look-up in the mapping.
const YAML::Node& expectMap(Budget& budget, const YAML::Node& node, std::string_view what) {
    if (!node.IsMap()) fail(node, std::string(what) + " must be a mapping");
    budget.spend(node, timesSaturated(node.size(), kEntryCost));
    return node;
}

// The name of a mapping entry, as the copy it becomes.
std::string key(Budget& budget, const YAML::Node& node) {
    budget.spend(node, kEntryCost + sizeof(std::string) + node.Scalar().size());
    return node.Scalar();
}

double number(const YAML::Node& node, std::string_view what) {
    const std::optional<double> value =
        node.IsScalar() ? sim::syntax::parseNumber(node.Scalar()) : std::nullopt;
    if (!value) fail(node, std::string(what) + " must be a number");
    return *value;
}

const YAML::Node& expectList(Budget& budget, const YAML::Node& node, std::string_view what) {
    if (!node.IsSequence()) fail(node, std::string(what) + " must be a list");
    budget.spend(node, timesSaturated(node.size(), kEntryCost));
    return node;
}

// `error`: one answer for every error, or a mapping of the answers
// (`response`), status registers and error queues, in any version 1.x.
void readError(Budget& budget, const YAML::Node& node, DeviceDefinition& device) {
    if (node.IsScalar() || node.IsNull()) {
        device.commandError = response(budget, node, "error", kEscapes);
        device.commandErrorStated = true;
        return;
    }
    if (!node.IsMap()) fail(node, "error must be a text or a mapping");
    expectMap(budget, node, "error");
    if (const YAML::Node answers = node["response"]) {
        expectMap(budget, answers, "error response");
        if (const YAML::Node command = answers["command_error"]) {
            device.commandError = response(budget, command, "command_error", kEscapes);
            device.commandErrorStated = true;
        }
        // A read with nothing to read times out, as in pyvisa-sim.
        if (const YAML::Node query = answers["query_error"]) response(budget, query, "query_error");
    }
    if (const YAML::Node registers = node["status_register"]) {
        for (const YAML::Node& entry : expectList(budget, registers, "status_register")) {
            expectMap(budget, entry, "a status register");
            budget.spend(entry, sizeof(DeviceDefinition::StatusRegister));
            DeviceDefinition::StatusRegister r;
            r.query = text(budget, required(entry, "q"), "status register q", kEscapes);
            for (const auto& bits : entry) {
                const std::string name = key(budget, bits.first);
                if (name == "q") continue;
                const std::optional<long long> value =
                    bits.second.IsScalar() ? wholeNumber(bits.second.Scalar()) : std::nullopt;
                if (!value) fail(bits.second, "the bits of " + name + " must be a whole number");
                r.bits[name] = *value;
            }
            device.statusRegisters.push_back(std::move(r));
        }
    }
    if (const YAML::Node queues = node["error_queue"]) {
        for (const YAML::Node& entry : expectList(budget, queues, "error_queue")) {
            expectMap(budget, entry, "an error queue");
            budget.spend(entry, sizeof(DeviceDefinition::ErrorQueue));
            DeviceDefinition::ErrorQueue q;
            q.query = text(budget, required(entry, "q"), "error queue q", kEscapes);
            q.empty = text(budget, required(entry, "default"), "error queue default", kEscapes);
            for (const auto& message : entry) {
                const std::string name = key(budget, message.first);
                if (name == "q" || name == "default" || name == "strict") continue;
                q.messages[name] = text(budget, message.second, "the message of " + name, kEscapes);
            }
            device.errorQueues.push_back(std::move(q));
        }
    }
}

DeviceDefinition::Property readProperty(Budget& budget, const std::string& name,
                                        const YAML::Node& node) {
    expectMap(budget, node, "property " + name);
    budget.spend(node, sizeof(DeviceDefinition::Property));
    DeviceDefinition::Property p;
    p.name = name;
    if (const YAML::Node initial = node["default"]) p.initial = text(budget, initial, "default");
    if (const YAML::Node getter = node["getter"]) {
        expectMap(budget, getter, "getter");
        p.getQuery = text(budget, required(getter, "q"), "getter q", kBoth);
        p.getAnswer = text(budget, required(getter, "r"), "getter r", kTrimmed);
    }
    if (const YAML::Node setter = node["setter"]) {
        expectMap(budget, setter, "setter");
        p.setQuery = text(budget, required(setter, "q"), "setter q", kTrimmed);
        p.setAnswer = response(budget, setter["r"], "setter r", kBoth);
        if (const YAML::Node error = setter["e"])
            p.setError = text(budget, error, "setter e", kBoth);
    }
    // Without specs a value is kept as written, as pyvisa-sim keeps it.
    p.type = DeviceDefinition::ValueType::Text;
    if (const YAML::Node limits = node["specs"]) {
        expectMap(budget, limits, "specs");
        if (sim::syntax::parseNumber(p.initial)) p.type = DeviceDefinition::ValueType::Float;
        if (const YAML::Node type = limits["type"]) {
            const std::string t = text(budget, type, "type");
            if (t == "float")
                p.type = DeviceDefinition::ValueType::Float;
            else if (t == "int")
                p.type = DeviceDefinition::ValueType::Int;
            else if (t == "str")
                p.type = DeviceDefinition::ValueType::Text;
            else
                fail(type, "unknown type \"" + t + "\" (float, int or str)");
        }
        if (const YAML::Node min = limits["min"]) p.min = number(min, "min");
        if (const YAML::Node max = limits["max"]) p.max = number(max, "max");
        if (const YAML::Node valid = limits["valid"]) {
            for (const YAML::Node& v : expectList(budget, valid, "valid"))
                p.valid.push_back(text(budget, v, "a valid value"));
        }
        if ((p.min || p.max || !p.valid.empty()) && p.type == DeviceDefinition::ValueType::Text &&
            p.valid.empty())
            p.type = DeviceDefinition::ValueType::Float;
    }
    return p;
}

// The dialogues and properties of a device or of a channel group.
void readBehaviour(Budget& budget, const YAML::Node& node,
                   std::vector<DeviceDefinition::Dialogue>& dialogues,
                   std::vector<DeviceDefinition::Property>& properties) {
    if (const YAML::Node list = node["dialogues"]) {
        for (const YAML::Node& d : expectList(budget, list, "dialogues")) {
            expectMap(budget, d, "a dialogue");
            budget.spend(d, sizeof(DeviceDefinition::Dialogue));
            dialogues.push_back(
                {text(budget, required(d, "q"), "q", kBoth), response(budget, d["r"], "r", kBoth)});
        }
    }
    if (const YAML::Node map = node["properties"]) {
        expectMap(budget, map, "properties");
        for (const auto& entry : map)
            properties.push_back(readProperty(budget, key(budget, entry.first), entry.second));
    }
}

std::vector<std::string> channelIds(Budget& budget, const YAML::Node& node) {
    std::vector<std::string> ids;
    for (const YAML::Node& id : expectList(budget, node, "channel ids"))
        ids.push_back(text(budget, id, "a channel id"));
    return ids;
}

std::shared_ptr<DeviceDefinition> readDevice(Budget& budget, const std::string& name,
                                             const YAML::Node& node) {
    expectMap(budget, node, "device " + name);
    budget.spend(node, sizeof(DeviceDefinition) + name.size());
    auto device = std::make_shared<DeviceDefinition>();
    device->name = name;
    if (const YAML::Node eom = node["eom"]) {
        expectMap(budget, eom, "eom");
        if (const YAML::Node gpib = eom["GPIB INSTR"]) {
            expectMap(budget, gpib, "eom GPIB INSTR");
            device->queryEnd = text(budget, required(gpib, "q"), "eom q", kBoth);
            device->answerEnd = text(budget, required(gpib, "r"), "eom r", kBoth);
        }
    }
    if (const YAML::Node delimiter = node["delimiter"])
        device->delimiter = text(budget, delimiter, "delimiter");
    if (const YAML::Node error = node["error"]) readError(budget, error, *device);
    readBehaviour(budget, node, device->dialogues, device->properties);
    if (const YAML::Node channels = node["channels"]) {
        expectMap(budget, channels, "channels");
        for (const auto& entry : channels) {
            DeviceDefinition::ChannelGroup group;
            group.name = key(budget, entry.first);
            expectMap(budget, entry.second, "channels " + group.name);
            budget.spend(entry.second, sizeof(DeviceDefinition::ChannelGroup));
            if (const YAML::Node ids = entry.second["ids"]) group.ids = channelIds(budget, ids);
            // pyvisa-sim takes exactly "False" as no.
            if (const YAML::Node select = entry.second["can_select"])
                group.selectable = !(select.IsScalar() && select.Scalar() == "False");
            readBehaviour(budget, entry.second, group.dialogues, group.properties);
            device->channels.push_back(std::move(group));
        }
    }
    return device;
}

// The answers with RANDOM(...) that are not fields of the form it takes.
std::vector<std::string> badRandomAnswers(const DeviceDefinition& device) {
    std::vector<std::string> bad;
    const auto check = [&](const std::string& query, const std::string& answer) {
        if (sim::RandomAnswers::mentioned(answer) && !sim::RandomAnswers::wellFormed(answer))
            bad.push_back("\"" + utf8FromBytes(query) + "\"");
    };
    const auto checkAll = [&](const auto& dialogues, const auto& properties) {
        for (const auto& d : dialogues)
            if (d.answer) check(d.query, *d.answer);
        for (const auto& p : properties)
            check(p.getQuery, p.getAnswer);
    };
    checkAll(device.dialogues, device.properties);
    for (const auto& group : device.channels)
        checkAll(group.dialogues, group.properties);
    return bad;
}

// GPIB[board]::<address>[::<secondary>][::INSTR], any letter case, as VISA
// names a GPIB instrument (the board 0 when left out).
struct GpibResource {
    bool gpib = false;
    bool boardZero = true;
    std::string address, secondary;
};

GpibResource parseResource(std::string name) {
    for (char& c : name)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    std::vector<std::string> parts;
    for (std::size_t from = 0;;) {
        const std::size_t at = name.find("::", from);
        parts.push_back(name.substr(from, at - from));
        if (at == std::string::npos) break;
        from = at + 2;
    }
    GpibResource r;
    if (parts.back() == "INTFC") return r; // the board itself
    if (parts.back() == "INSTR") parts.pop_back();
    if (parts.size() < 2 || parts.size() > 3 || !parts[0].starts_with("GPIB")) return r;
    const std::string board = parts[0].substr(4);
    if (board.find_first_not_of("0123456789") != std::string::npos) return r;
    r.gpib = true;
    // Any number of digits, leading zeros too ("GPIB00001" is board 1).
    r.boardZero = board.find_first_not_of('0') == std::string::npos;
    r.address = parts[1];
    if (parts.size() == 3) r.secondary = parts[2];
    return r;
}

std::string joined(const std::vector<std::string>& items) {
    std::string out;
    for (const std::string& item : items)
        out += (out.empty() ? "" : ", ") + item;
    return out;
}

// What an instrument made from the definition holds and goes through for
// each message: a value per property and, in a channel group, a value per
// channel of each property and a query per channel of each dialogue and
// property.
std::size_t instrumentCost(const DeviceDefinition& device) {
    std::size_t cost = sizeof(DeviceDefinition);
    for (const auto& p : device.properties)
        cost += sizeof(std::string) + p.initial.size();
    for (const auto& group : device.channels) {
        std::size_t perChannel = 0;
        for (const auto& p : group.properties)
            perChannel +=
                3 * sizeof(std::string) + p.initial.size() + p.getQuery.size() + p.setQuery.size();
        for (const auto& d : group.dialogues)
            perChannel += sizeof(std::string) + d.query.size();
        const std::size_t all = timesSaturated(perChannel, group.ids.size());
        cost = all > std::numeric_limits<std::size_t>::max() - cost
                   ? std::numeric_limits<std::size_t>::max()
                   : cost + all;
    }
    return cost;
}

// As pyvisa-sim decides: whole numbers joined by '.', major version 1, not
// newer than 1.1 (compared number by number, so "1.1.0" is newer).
bool readableVersion(std::string_view v) {
    std::vector<long long> parts;
    for (std::size_t from = 0;;) {
        const std::size_t dot = v.find('.', from);
        const std::optional<long long> part = wholeNumber(v.substr(from, dot - from));
        if (!part) return false;
        parts.push_back(*part);
        if (dot == std::string_view::npos) break;
        from = dot + 1;
    }
    const std::vector<long long> newest = {1, 1};
    return parts[0] == 1 &&
           !std::lexicographical_compare(newest.begin(), newest.end(), parts.begin(), parts.end());
}

BenchLoad read(const YAML::Node& root, const std::string& name, Budget& budget) {
    BenchLoad load;
    const std::string versionKey(kBenchVersionKey);
    if (!root.IsMap())
        fail(root, "not a bench file: a mapping with " + versionKey + ", devices and resources");
    expectMap(budget, root, "the file");
    const YAML::Node version = root[versionKey];
    if (!version) fail(root, "no version (" + versionKey + ": \"1.1\")");
    const std::string v = version.IsScalar() ? version.Scalar() : "";
    if (!readableVersion(v))
        fail(version, "unknown version \"" + v + "\" (this program reads 1.0 and 1.1)");

    struct Device {
        std::shared_ptr<DeviceDefinition> definition;
        std::size_t cost = 0; // what reading it built
    };
    std::map<std::string, Device> devices;
    if (const YAML::Node list = root["devices"]) {
        expectMap(budget, list, "devices");
        for (const auto& entry : list) {
            const std::size_t before = budget.spent();
            std::string device = key(budget, entry.first);
            std::shared_ptr<DeviceDefinition> definition = readDevice(budget, device, entry.second);
            devices[std::move(device)] = {std::move(definition), budget.spent() - before};
        }
    }
    std::vector<std::string> noted; // devices whose bad RANDOM answers are named
    const YAML::Node resources = root["resources"];
    if (!resources) fail(root, "no resources");
    expectMap(budget, resources, "resources");

    std::array<std::string, AdapterDriver::kMaxAddress + 1> taken;
    std::vector<std::string> elsewhere, secondary, otherFiles;
    load.bus = std::make_unique<SimulatedBus>();
    for (const auto& entry : resources) {
        const std::string resource = key(budget, entry.first);
        const YAML::Node& binding = expectMap(budget, entry.second, "resource " + resource);
        const GpibResource r = parseResource(resource);
        if (!r.gpib || !r.boardZero) {
            elsewhere.push_back(resource);
            continue;
        }
        if (!r.secondary.empty()) {
            secondary.push_back(resource);
            continue;
        }
        if (binding["filename"]) {
            otherFiles.push_back(resource);
            continue;
        }
        // In range before it is taken as a whole number.
        const std::optional<double> pad = sim::syntax::parseNumber(r.address);
        if (!pad || !(*pad >= 1 && *pad <= AdapterDriver::kMaxAddress) || *pad != std::floor(*pad))
            fail(entry.first, resource + ": address \"" + r.address + "\" is not one of 1 to 30");
        const auto address = static_cast<std::size_t>(*pad);
        if (!taken[address].empty())
            fail(entry.first, resource + ": address " + std::to_string(address) +
                                  " is taken already by " + taken[address]);
        taken[address] = resource;
        const std::string device = text(budget, required(binding, "device"), "device");
        const auto found = devices.find(device);
        if (found == devices.end())
            fail(binding["device"], resource + ": no device \"" + device + "\" in devices");
        std::shared_ptr<const DeviceDefinition> definition = found->second.definition;
        // The resource may choose the channels the device has.
        if (const YAML::Node chosen = binding["channel_ids"]) {
            expectMap(budget, chosen, "channel_ids");
            // The copy, and a look-up of each of its groups in the mapping.
            budget.spend(chosen, found->second.cost);
            auto copy = std::make_shared<DeviceDefinition>(*definition);
            budget.spend(chosen, timesSaturated(chosen.size(), copy->channels.size() * kEntryCost));
            for (auto& group : copy->channels) {
                if (const YAML::Node ids = chosen[group.name]) {
                    std::vector<std::string> list = channelIds(budget, ids);
                    if (!list.empty()) group.ids = std::move(list);
                }
            }
            definition = std::move(copy);
        }
        if (std::find(noted.begin(), noted.end(), device) == noted.end()) {
            noted.push_back(device);
            const std::vector<std::string> bad = badRandomAnswers(*definition);
            if (!bad.empty())
                load.notes.push_back(name + ": device \"" + device +
                                     "\": RANDOM(...) is not a field {RANDOM(min, max, count)} "
                                     "or {RANDOM(min, max, count):format}; no answer to " +
                                     joined(bad));
        }
        budget.spend(entry.first, instrumentCost(*definition));
        load.bus->attach(static_cast<int>(address), sim::makeFileInstrument(definition));
    }
    if (!elsewhere.empty())
        load.notes.push_back(name + ": not on GPIB board 0, skipped: " + joined(elsewhere));
    if (!secondary.empty())
        load.notes.push_back(
            name + ": secondary addresses are not simulated, skipped: " + joined(secondary));
    if (!otherFiles.empty())
        load.notes.push_back(
            name + ": devices from other files are not read, skipped: " + joined(otherFiles));
    if (std::all_of(taken.begin(), taken.end(), [](const std::string& t) { return t.empty(); }))
        fail(resources, "no resource at GPIB0::<address>::INSTR: the bench would be empty");
    return load;
}

} // namespace

BenchLoad readBench(std::string_view text, const std::string& name) {
    BenchLoad load;
    try {
        Budget budget(text.size());
        return read(YAML::Load(std::string(text)), name, budget);
    } catch (const BadFile& bad) {
        load.error =
            name + ":" + (bad.line > 0 ? std::to_string(bad.line) + ":" : "") + " " + bad.what;
    } catch (const YAML::Exception& e) {
        load.error = name + ":" + (e.mark.is_null() ? "" : std::to_string(e.mark.line + 1) + ":") +
                     " not valid YAML: " + e.msg;
    } catch (const std::exception& e) {
        load.error = name + ": " + e.what();
    }
    load.bus.reset();
    return load;
}

BenchLoad loadBenchFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        BenchLoad load;
        load.error = "cannot open bench file '" + path + "'";
        return load;
    }
    const std::string content{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    return readBench(content, path);
}

std::string benchYaml(const Recording& recording) {
    YAML::Emitter out;
    out.SetOutputCharset(YAML::EscapeNonAscii);
    out << YAML::BeginMap << YAML::Key << std::string(kBenchVersionKey) << YAML::Value
        << YAML::DoubleQuoted << "1.1";
    out << YAML::Key << "devices" << YAML::Value << YAML::BeginMap;
    for (std::size_t pad = 1; pad < recording.devices.size(); ++pad) {
        const Recording::Device& device = recording.devices[pad];
        if (!device.listening) continue;
        out << YAML::Key << "device " + std::to_string(pad) << YAML::Value << YAML::BeginMap;
        out << YAML::Key << "eom" << YAML::Value << YAML::BeginMap << YAML::Key << "GPIB INSTR"
            << YAML::Value << YAML::BeginMap << YAML::Key << "q" << YAML::Value
            << YAML::DoubleQuoted << "\n"
            << YAML::Key << "r" << YAML::Value << YAML::DoubleQuoted << "\n"
            << YAML::EndMap << YAML::EndMap;
        // A write the recording never saw got no answer there either.
        out << YAML::Key << "error" << YAML::Value << YAML::BeginMap << YAML::Key << "response"
            << YAML::Value << YAML::BeginMap << YAML::Key << "command_error" << YAML::Value
            << "null_response" << YAML::EndMap << YAML::EndMap;
        out << YAML::Key << "dialogues" << YAML::Value << YAML::BeginSeq;
        std::vector<std::string> seen;
        const auto dialogue = [&](std::string_view query, const std::string* answer) {
            std::string q(query);
            if (std::find(seen.begin(), seen.end(), q) != seen.end()) return;
            seen.push_back(q);
            out << YAML::BeginMap << YAML::Key << "q" << YAML::Value << YAML::DoubleQuoted
                << utf8FromBytes(q);
            if (answer != nullptr) {
                std::string_view r = *answer;
                if (r.ends_with('\n')) r.remove_suffix(1);
                out << YAML::Key << "r" << YAML::Value << YAML::DoubleQuoted << utf8FromBytes(r);
            }
            out << YAML::EndMap;
        };
        for (const Recording::Exchange& exchange : device.exchanges) {
            const std::string* answer = nullptr;
            for (const auto& time : exchange.times) {
                if (!time.empty()) {
                    answer = &time.front();
                    break;
                }
            }
            // The device takes each line as a message; the answer goes with the last.
            std::string_view write = exchange.write;
            if (write.ends_with('\n')) write.remove_suffix(1);
            for (std::size_t newline; (newline = write.find('\n')) != std::string_view::npos;) {
                dialogue(write.substr(0, newline), nullptr);
                write.remove_prefix(newline + 1);
            }
            dialogue(write, answer);
        }
        out << YAML::EndSeq << YAML::EndMap;
    }
    out << YAML::EndMap;
    out << YAML::Key << "resources" << YAML::Value << YAML::BeginMap;
    for (std::size_t pad = 1; pad < recording.devices.size(); ++pad) {
        if (!recording.devices[pad].listening) continue;
        out << YAML::Key << "GPIB0::" + std::to_string(pad) + "::INSTR" << YAML::Value
            << YAML::BeginMap << YAML::Key << "device" << YAML::Value
            << "device " + std::to_string(pad) << YAML::EndMap;
    }
    out << YAML::EndMap << YAML::EndMap;
    return std::string(out.c_str()) + "\n";
}

std::string saveBenchYaml(const Recording& recording, const std::string& path) {
    const std::string content = benchYaml(recording);
    const std::string part = path + ".part";
    {
        std::ofstream file(part, std::ios::binary | std::ios::trunc);
        file << content;
        file.flush();
        if (!file) {
            std::error_code ignored;
            std::filesystem::remove(part, ignored);
            return "cannot write bench file '" + path + "'";
        }
    }
    std::error_code error;
    std::filesystem::rename(part, path, error);
    if (error) {
        std::filesystem::remove(part, error);
        return "cannot write bench file '" + path + "': " + error.message();
    }
    return {};
}

} // namespace bus
