#pragma once

#include "core/command/CommandMessage.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace skyloom {

// The wire format both ends of the command channel share.
//
// A frame is a 4-byte big-endian payload length followed by the payload:
//   magic byte, version byte, kind byte (request or result), then
//   request: u32 argument count, then per argument u32 length + bytes;
//   result:  i32 exit status, then u32 length + bytes for standard output
//            and for standard error.
// All integers are big-endian. Decoding accepts exactly one whole frame and
// nothing else, so a peer cannot make the other end read past what it sent.
class CommandCodec {
public:
    static constexpr std::size_t prefixSize = 4;
    // Largest payload either end sends or accepts.
    static constexpr std::uint32_t maxPayloadSize = 8u * 1024u * 1024u;
    static constexpr std::size_t maxArguments = 65536;

    static constexpr std::uint8_t magic = 0x53; // 'S'
    static constexpr std::uint8_t version = 1;
    static constexpr std::uint8_t requestKind = 1;
    static constexpr std::uint8_t resultKind = 2;

    // The whole frame, or nullopt when it would exceed maxPayloadSize or
    // maxArguments.
    static std::optional<std::string> encode(const CommandRequest& request);
    static std::optional<std::string> encode(const CommandResult& result);

    // The payload length a frame declares in its first prefixSize bytes, or
    // nullopt when it is too short to be a payload or larger than
    // maxPayloadSize. Lets a reader refuse a frame before reading it.
    static std::optional<std::uint32_t> payloadLength(std::string_view prefix);

    // The message a whole frame (prefix included) holds, or nullopt when the
    // frame is not exactly one well-formed message of that kind.
    static std::optional<CommandRequest> decodeRequest(std::string_view frame);
    static std::optional<CommandResult> decodeResult(std::string_view frame);
};

} // namespace skyloom
