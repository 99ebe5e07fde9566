// Where and why a parse refused a file, and what it had read by then.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "dicom/model/PathStep.h"
#include "dicom/model/TagArray.h"

// One step of the path to the place of a failure.
using FailureStep = PathStep;

// Kept by a file object after a refused parse, until the next parse starts. The file object
// itself is empty after a refusal, as always; this is all that is left of the attempt.
struct ParseFailure {
    // First byte of the innermost element, item, fragment or delimiter that broke a rule, or
    // where the next tag would have started; none where no single place is to blame.
    std::optional<uint64_t> offset;
    // The containers open at the failure from the top level down, then the element whose header
    // or value broke the rule, when there is one.
    std::vector<FailureStep> path;
    // One sentence, with the numbers.
    std::string reason;
    // For a bare data set that looked explicit and was read again as implicit VR: the reason
    // the explicit attempt failed (the fields above describe the implicit one). Empty otherwise.
    std::string firstReason;

    // The system's reason when the file could not be opened or its bytes read ("No such file or
    // directory", "Input/output error"), or "the file became shorter while it was read"; empty
    // when the bytes were there and the refusal is about what they hold.
    std::string ioError;

    // What was known of the file when it was refused.
    std::optional<int64_t> fileSize;
    std::optional<bool> hasPreamble;
    std::optional<bool> explicitVR;
    std::optional<bool> littleEndian;

    // Every element read whole before the failure, in place, and the containers open at the
    // failure with the children they had read, each marked incomplete. Only kept when the parse
    // options ask for it (it holds values, so it can be as large as the file).
    CTagArray tree;
};
