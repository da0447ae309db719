#include "core/command/CommandCodec.h"

#include <utility>

namespace skyloom {
namespace {

constexpr std::size_t headerSize = 3; // magic, version, kind

void putU32(std::string& out, std::uint32_t value) {
    out.push_back(static_cast<char>((value >> 24) & 0xff));
    out.push_back(static_cast<char>((value >> 16) & 0xff));
    out.push_back(static_cast<char>((value >> 8) & 0xff));
    out.push_back(static_cast<char>(value & 0xff));
}

std::uint32_t readU32(std::string_view bytes) {
    return (std::uint32_t(std::uint8_t(bytes[0])) << 24) |
           (std::uint32_t(std::uint8_t(bytes[1])) << 16) |
           (std::uint32_t(std::uint8_t(bytes[2])) << 8) | std::uint32_t(std::uint8_t(bytes[3]));
}

// Starts a frame with a placeholder prefix and the header.
std::string startFrame(std::uint8_t kind, std::uint8_t version = CommandCodec::version) {
    std::string frame(CommandCodec::prefixSize, '\0');
    frame.push_back(static_cast<char>(CommandCodec::magic));
    frame.push_back(static_cast<char>(version));
    frame.push_back(static_cast<char>(kind));
    return frame;
}

std::optional<std::string> finishFrame(std::string frame) {
    std::size_t payload = frame.size() - CommandCodec::prefixSize;
    if (payload > CommandCodec::maxPayloadSize)
        return std::nullopt;
    std::string prefix;
    putU32(prefix, static_cast<std::uint32_t>(payload));
    frame.replace(0, CommandCodec::prefixSize, prefix);
    return frame;
}

// Reads a payload front to back; every read checks what is left, so no
// declared count or length can reach past the frame.
class Reader {
public:
    explicit Reader(std::string_view bytes) : rest_(bytes) {}

    std::optional<std::uint32_t> u32() {
        if (rest_.size() < 4)
            return std::nullopt;
        std::uint32_t value = readU32(rest_);
        rest_.remove_prefix(4);
        return value;
    }

    std::optional<std::string> bytes() {
        auto length = u32();
        if (!length || *length > rest_.size())
            return std::nullopt;
        std::string value(rest_.substr(0, *length));
        rest_.remove_prefix(*length);
        return value;
    }

    std::optional<std::uint8_t> u8() {
        if (rest_.empty())
            return std::nullopt;
        auto value = std::uint8_t(rest_[0]);
        rest_.remove_prefix(1);
        return value;
    }

    std::size_t remaining() const { return rest_.size(); }

private:
    std::string_view rest_;
};

// The payload of a whole frame of the given kind, after its header, and the
// version it was written in (results and accepted frames only in the current
// one; requests also in the first).
std::optional<std::pair<std::string_view, std::uint8_t>> payloadOf(std::string_view frame,
                                                                   std::uint8_t kind) {
    auto length = CommandCodec::payloadLength(frame);
    if (!length || frame.size() - CommandCodec::prefixSize != *length)
        return std::nullopt;
    std::string_view payload = frame.substr(CommandCodec::prefixSize);
    const auto version = std::uint8_t(payload[1]);
    const bool known = version == CommandCodec::version ||
                       (kind == CommandCodec::requestKind && version == CommandCodec::firstVersion);
    if (std::uint8_t(payload[0]) != CommandCodec::magic || !known ||
        std::uint8_t(payload[2]) != kind)
        return std::nullopt;
    return std::pair{payload.substr(headerSize), version};
}

std::optional<std::string> encodeRequest(const CommandRequest& request, std::uint8_t version) {
    if (request.arguments.size() > CommandCodec::maxArguments)
        return std::nullopt;
    std::size_t size =
        CommandCodec::prefixSize + headerSize + 4 + 4 + request.activationToken.size() + 1;
    for (const auto& argument : request.arguments) {
        size += 4 + argument.size();
        if (size > CommandCodec::prefixSize + CommandCodec::maxPayloadSize)
            return std::nullopt;
    }
    if (size > CommandCodec::prefixSize + CommandCodec::maxPayloadSize)
        return std::nullopt;
    std::string frame = startFrame(CommandCodec::requestKind, version);
    frame.reserve(size);
    putU32(frame, static_cast<std::uint32_t>(request.arguments.size()));
    for (const auto& argument : request.arguments) {
        putU32(frame, static_cast<std::uint32_t>(argument.size()));
        frame += argument;
    }
    if (version >= 2) {
        putU32(frame, static_cast<std::uint32_t>(request.activationToken.size()));
        frame += request.activationToken;
        frame.push_back(static_cast<char>(request.fromTerminal ? 1 : 0));
    }
    return finishFrame(std::move(frame));
}

} // namespace

std::optional<std::string> CommandCodec::encode(const CommandRequest& request) {
    return encodeRequest(request, version);
}

std::optional<std::string> CommandCodec::encodeFirstVersion(const CommandRequest& request) {
    return encodeRequest(request, firstVersion);
}

std::optional<std::string> CommandCodec::encode(const CommandResult& result) {
    if (result.standardOutput.size() > maxPayloadSize ||
        result.standardError.size() > maxPayloadSize)
        return std::nullopt;
    std::string frame = startFrame(resultKind);
    putU32(frame, static_cast<std::uint32_t>(result.exitStatus));
    for (const std::string* text : {&result.standardOutput, &result.standardError}) {
        putU32(frame, static_cast<std::uint32_t>(text->size()));
        frame += *text;
    }
    return finishFrame(std::move(frame));
}

std::optional<std::uint32_t> CommandCodec::payloadLength(std::string_view prefix) {
    if (prefix.size() < prefixSize)
        return std::nullopt;
    std::uint32_t length = readU32(prefix);
    if (length < headerSize || length > maxPayloadSize)
        return std::nullopt;
    return length;
}

std::optional<CommandRequest> CommandCodec::decodeRequest(std::string_view frame) {
    auto payload = payloadOf(frame, requestKind);
    if (!payload)
        return std::nullopt;
    Reader reader(payload->first);
    auto count = reader.u32();
    // Each argument takes at least its 4-byte length, so a count the rest
    // cannot hold is refused before anything is allocated for it.
    if (!count || *count > maxArguments || *count > reader.remaining() / 4)
        return std::nullopt;
    CommandRequest request;
    request.arguments.reserve(*count);
    for (std::uint32_t i = 0; i < *count; ++i) {
        auto argument = reader.bytes();
        if (!argument)
            return std::nullopt;
        request.arguments.push_back(std::move(*argument));
    }
    if (payload->second >= 2) {
        auto token = reader.bytes();
        auto flags = reader.u8();
        // Unknown flag bits are refused: they would mean something this
        // build does not do.
        if (!token || !flags || (*flags & ~1u) != 0)
            return std::nullopt;
        request.activationToken = std::move(*token);
        request.fromTerminal = (*flags & 1u) != 0;
    }
    if (reader.remaining() != 0)
        return std::nullopt;
    return request;
}

std::optional<CommandResult> CommandCodec::decodeResult(std::string_view frame) {
    auto payload = payloadOf(frame, resultKind);
    if (!payload)
        return std::nullopt;
    Reader reader(payload->first);
    auto status = reader.u32();
    auto standardOutput = reader.bytes();
    auto standardError = reader.bytes();
    if (!status || !standardOutput || !standardError || reader.remaining() != 0)
        return std::nullopt;
    CommandResult result;
    result.exitStatus = static_cast<int>(static_cast<std::int32_t>(*status));
    result.standardOutput = std::move(*standardOutput);
    result.standardError = std::move(*standardError);
    return result;
}

std::uint8_t CommandCodec::requestVersion(std::string_view frame) {
    auto payload = payloadOf(frame, requestKind);
    return payload ? payload->second : 0;
}

std::string CommandCodec::acceptedFrame() {
    return *finishFrame(startFrame(acceptedKind));
}

bool CommandCodec::isAccepted(std::string_view frame) {
    auto payload = payloadOf(frame, acceptedKind);
    return payload && payload->first.empty();
}

} // namespace skyloom
