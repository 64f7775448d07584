#include "traffic/traffic_log.h"

#include <chrono>
#include <utility>

#include "formats/body.h"
#include "formats/json.h"
#include "server/event_stream.h"
#include "text/base64.h"

namespace tav::devhost {
namespace {

// A member longer than this is cut when its entry is too long to keep.
constexpr std::size_t kMaxMemberBytes = TrafficLog::kMaxEntryBytes / 4;

std::uint64_t microsecondsSinceStart() {
    using Clock = std::chrono::steady_clock;
    static const Clock::time_point start = Clock::now();
    return static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start).count());
}

bool isUtf8(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t length = lead < 0x80           ? 1
                                   : (lead >> 5) == 0x6  ? 2
                                   : (lead >> 4) == 0xE  ? 3
                                   : (lead >> 3) == 0x1E ? 4
                                                         : 0;
        if (length == 0 || lead == 0 || i + length > text.size()) {
            return false;
        }
        for (std::size_t k = 1; k < length; ++k) {
            if ((static_cast<unsigned char>(text[i + k]) >> 6) != 0x2) {
                return false;
            }
        }
        i += length;
    }
    return true;
}

// The first bytes of text, ending on a whole UTF-8 character.
std::string_view prefixOf(std::string_view text, std::size_t bytes) {
    if (text.size() <= bytes) {
        return text;
    }
    while (bytes > 0 && (static_cast<unsigned char>(text[bytes]) >> 6) == 0x2) {
        --bytes;
    }
    return text.substr(0, bytes);
}

// Replaces every member (of the entry and of its structures) longer than
// kMaxMemberBytes by the start of its JSON text, noting its path and length
// in "cut".
void cutLongMembers(BindingValue& entry) {
    BindingValue cut;
    const auto cutIn = [&](BindingValue& owner, const std::string& prefix, auto& self) -> void {
        for (BindingMember& member : owner.members()) {
            const std::string path = prefix + std::string(member.key());
            BindingValue& value = member.value();
            if (value.kind() == BindingValueKind::Structure && prefix.empty()) {
                self(value, path + ".", self);
                continue;
            }
            std::string text = value.kind() == BindingValueKind::String
                                   ? std::string(value.asString())
                                   : writeJson(value);
            if (text.size() > kMaxMemberBytes) {
                cut.member(path).setUInt64(text.size());
                value.setString(prefixOf(text, kMaxMemberBytes));
            }
        }
    };
    cutIn(entry, "", cutIn);
    if (cut.kind() != BindingValueKind::Empty) {
        entry.member("cut") = std::move(cut);
    }
}

}  // namespace

TrafficLog::TrafficLog(EventStream* stream) : stream_(stream) {
    (void)microsecondsSinceStart();
}

TrafficLog::~TrafficLog() {
    if (file_ != nullptr) {
        std::fclose(file_);
    }
}

bool TrafficLog::record(const std::string& path, const BindingValue& header, std::string& error) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        error = path + ": cannot be written";
        return false;
    }
    const std::string line = writeJson(header) + "\n";
    if (std::fwrite(line.data(), 1, line.size(), file) != line.size() || std::fflush(file) != 0) {
        std::fclose(file);
        error = path + ": cannot be written";
        return false;
    }
    std::lock_guard lock(mutex_);
    file_ = file;
    return true;
}

std::uint64_t TrafficLog::reserve() {
    std::lock_guard lock(mutex_);
    return nextSeq_++;
}

std::uint32_t TrafficLog::threadNumber() {
    const auto [it, added] = threads_.try_emplace(std::this_thread::get_id(),
                                                  static_cast<std::uint32_t>(threads_.size() + 1));
    return it->second;
}

void TrafficLog::add(TrafficKind kind, BindingValue entry, std::uint64_t cause, std::uint64_t seq) {
    entry.member("kind").setString(trafficKindName(kind));
    entry.member("time").setUInt64(microsecondsSinceStart());
    if (cause != 0) {
        entry.member("cause").setUInt64(cause);
    }
    std::unique_lock lock(mutex_);
    entry.member("seq").setUInt64(seq != 0 ? seq : nextSeq_++);
    entry.member("thread").setUInt32(threadNumber());
    std::string text = writeJson(entry);
    if (file_ != nullptr && !fileFailed_) {
        text.push_back('\n');
        // Line by line, so that a crash loses at most the line being written.
        fileFailed_ = std::fwrite(text.data(), 1, text.size(), file_) != text.size() ||
                      std::fflush(file_) != 0;
        if (fileFailed_) {
            std::fprintf(stderr, "tav-devhost: the recording cannot be written; it stops here\n");
        }
        text.pop_back();
    }
    if (text.size() > kMaxEntryBytes) {
        cutLongMembers(entry);
        text = writeJson(entry);
    }
    if (kept_.size() == kMaxEntries) {
        kept_.pop_front();
    }
    kept_.push_back(text);
    lock.unlock();
    if (stream_ != nullptr) {
        stream_->publish("traffic", text);
    }
}

std::string TrafficLog::recent(std::size_t limit) const {
    std::lock_guard lock(mutex_);
    limit = std::min({limit, kMaxEntries, kept_.size()});
    std::string text = "{\"capacity\":" + std::to_string(kMaxEntries) + ",\"entries\":[";
    for (std::size_t i = kept_.size() - limit; i < kept_.size(); ++i) {
        text.append(kept_[i]).push_back(',');
    }
    if (text.back() == ',') {
        text.pop_back();
    }
    text.append("]}");
    return text;
}

void putBody(BindingValue& into, std::string_view contentType, std::string_view bytes) {
    if (bytes.empty()) {
        return;
    }
    BindingResult read = contentType.empty() ? readJson(bytes) : readBody(contentType, bytes);
    if (read) {
        into.member("body") = std::move(read.value);
        if (writeJson(into.find("body")) == bytes) {
            return;
        }
    }
    if (isUtf8(bytes)) {
        into.member("bodyText").setString(bytes);
    } else {
        into.member("bodyBase64")
            .setString(
                base64Encode(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
    }
}

std::string bodyBytes(const BindingValue& from) {
    if (const BindingValue* text = from.tryFind("bodyText")) {
        return std::string(text->asString());
    }
    if (const BindingValue* encoded = from.tryFind("bodyBase64")) {
        const std::vector<std::uint8_t> bytes = base64Decode(encoded->asString());
        return {bytes.begin(), bytes.end()};
    }
    if (const BindingValue* body = from.tryFind("body")) {
        return writeJson(*body);
    }
    return {};
}

}  // namespace tav::devhost
