#include "traffic/value_diff.h"

#include "formats/json.h"

namespace tav::devhost {
namespace {

constexpr std::size_t kMaxShown = 80;

std::string shown(const BindingValue& value) {
    if (value.kind() == BindingValueKind::Empty) {
        return "null";
    }
    std::string text = writeJson(value);
    if (text.size() > kMaxShown) {
        text.resize(kMaxShown - 3);
        text.append("...");
    }
    return text;
}

struct Differ {
    std::vector<std::string> found;
    std::size_t total = 0;
    std::size_t maxLines;

    void add(std::string line) {
        if (++total <= maxLines) {
            found.push_back(std::move(line));
        }
    }

    void walk(const BindingValue& recorded, const BindingValue& now, const std::string& path) {
        if (recorded.kind() == BindingValueKind::Structure &&
            now.kind() == BindingValueKind::Structure) {
            for (const BindingMember& member : recorded.members()) {
                const std::string at = path + "." + std::string(member.key());
                if (const BindingValue* other = now.tryFind(member.key())) {
                    walk(member.value(), *other, at);
                } else {
                    add(at + ": recorded " + shown(member.value()) + ", now absent");
                }
            }
            for (const BindingMember& member : now.members()) {
                if (recorded.tryFind(member.key()) == nullptr) {
                    add(path + "." + std::string(member.key()) + ": now " + shown(member.value()) +
                        ", not recorded");
                }
            }
            return;
        }
        if (recorded.kind() == BindingValueKind::Collection &&
            now.kind() == BindingValueKind::Collection) {
            const std::size_t common = std::min(recorded.size(), now.size());
            for (std::size_t i = 0; i < common; ++i) {
                walk(recorded.elementAt(i), now.elementAt(i), path + "[" + std::to_string(i) + "]");
            }
            for (std::size_t i = common; i < recorded.size(); ++i) {
                add(path + "[" + std::to_string(i) + "]: recorded " + shown(recorded.elementAt(i)) +
                    ", now absent");
            }
            for (std::size_t i = common; i < now.size(); ++i) {
                add(path + "[" + std::to_string(i) + "]: now " + shown(now.elementAt(i)) +
                    ", not recorded");
            }
            return;
        }
        if (!(recorded == now)) {
            add(path + ": recorded " + shown(recorded) + ", now " + shown(now));
        }
    }
};

}  // namespace

BindingValue asRecorded(const BindingValue& value) {
    BindingResult read = readJson(writeJson(value));
    return read ? std::move(read.value) : BindingValue();
}

void diffValues(const BindingValue& recorded, const BindingValue& now, const std::string& path,
                std::vector<std::string>& lines, std::size_t maxLines) {
    Differ differ;
    differ.maxLines = maxLines;
    differ.walk(recorded, now, path);
    for (std::string& line : differ.found) {
        lines.push_back(std::move(line));
    }
    if (differ.total > maxLines) {
        lines.push_back("... and " + std::to_string(differ.total - maxLines) + " more");
    }
}

}  // namespace tav::devhost
