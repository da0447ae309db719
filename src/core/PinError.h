#pragma once

#include <cstdint>
#include <exception>
#include <string>

namespace skyloom {

// Why pinning, unpinning or re-applying one folder failed. Thrown as a value.
class PinError : public std::exception {
public:
    enum class Kind {
        system,
        notAFolder,
        alreadyPinned,
        notFound,
        notOwner,
        unsupportedVolume,
        iCloudManaged,
        locked,
    };

    // Why a volume takes no pin date. Only the Linux wording tells these
    // apart; elsewhere every one shows the one unsupported-volume text.
    enum class VolumeProblem {
        dateRange, // the volume's dates stop before 2100, or it keeps none
        readOnly,
        virtualFileSystem, // /proc, /sys and the like
        network,
    };

    static PinError system(std::int32_t code) { return PinError(Kind::system, code); }
    static PinError notAFolder() { return PinError(Kind::notAFolder); }
    static PinError alreadyPinned() { return PinError(Kind::alreadyPinned); }
    static PinError notFound() { return PinError(Kind::notFound); }
    static PinError notOwner() { return PinError(Kind::notOwner); }
    static PinError unsupportedVolume(VolumeProblem problem = VolumeProblem::dateRange) {
        PinError error(Kind::unsupportedVolume);
        error.problem_ = problem;
        return error;
    }
    static PinError iCloudManaged() { return PinError(Kind::iCloudManaged); }
    static PinError locked() { return PinError(Kind::locked); }

    Kind kind() const { return kind_; }
    // The errno carried by `system`; 0 for every other case.
    std::int32_t code() const { return code_; }
    // What is wrong with the volume, for unsupportedVolume; dateRange otherwise.
    VolumeProblem volumeProblem() const { return problem_; }

    // The user-facing message, translated through the translate hook.
    std::string errorDescription() const;

    const char* what() const noexcept override;

    // The volume problem only picks the text: every unsupportedVolume is one case.
    friend bool operator==(const PinError& a, const PinError& b) {
        return a.kind_ == b.kind_ && a.code_ == b.code_;
    }

private:
    explicit PinError(Kind kind, std::int32_t code = 0) : kind_(kind), code_(code) {}

    Kind kind_;
    std::int32_t code_;
    VolumeProblem problem_ = VolumeProblem::dateRange;
};

// The description a failure line shows for any error: the message of a
// PinError, the system's own text for a std::system_error, what() otherwise.
std::string errorDescription(const std::exception& error);

} // namespace skyloom
