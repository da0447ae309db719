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
//   magic byte, version byte, kind byte (request, result or accepted), then
//   request: u32 argument count, then per argument u32 length + bytes;
//            from version 2 on also u32 length + bytes of the activation
//            token and one flags byte (bit 0: from a terminal);
//   result:  i32 exit status, then u32 length + bytes for standard output
//            and for standard error;
//   accepted: nothing. The app sends it for a version 2 request as soon as
//            the request is whole and queued: a connection that ends before
//            it may be retried, since the command has not run.
// All integers are big-endian. Decoding accepts exactly one whole frame and
// nothing else, so a peer cannot make the other end read past what it sent.
// Version 1 requests (an older command line) still decode, without the
// token and flags, and get no accepted frame.
class CommandCodec {
public:
    static constexpr std::size_t prefixSize = 4;
    // Largest payload either end sends or accepts.
    static constexpr std::uint32_t maxPayloadSize = 8u * 1024u * 1024u;
    static constexpr std::size_t maxArguments = 65536;

    static constexpr std::uint8_t magic = 0x53; // 'S'
    static constexpr std::uint8_t version = 2;
    static constexpr std::uint8_t firstVersion = 1;
    static constexpr std::uint8_t requestKind = 1;
    static constexpr std::uint8_t resultKind = 2;
    static constexpr std::uint8_t acceptedKind = 3;

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

    // The version a whole request frame was written in, for the answer to
    // match it (0 when it is no request frame).
    static std::uint8_t requestVersion(std::string_view frame);

    // The accepted frame, and whether a whole frame is one.
    static std::string acceptedFrame();
    static bool isAccepted(std::string_view frame);

    // A version 1 request frame, as an older command line sent it.
    static std::optional<std::string> encodeFirstVersion(const CommandRequest& request);
};

} // namespace skyloom
