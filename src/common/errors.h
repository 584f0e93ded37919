#pragma once
// The core's one error style: exceptions carrying the German message that the
// user sees in the error box. The class tells what kind of fault it was.
#include <stdexcept>
#include <string>

#include "common/messages.h"
#include "common/quote.h"

class Exception : public std::runtime_error {
public:
    explicit Exception(const std::string& message) : std::runtime_error(message) {}
    std::string Message() const { return what(); }
};

// Text that is not a valid number ("'%s' ist kein gültiger Integerwert").
class EConvertError : public Exception {
    using Exception::Exception;
};

// Floating-point faults.
class EMathError : public Exception {
    using Exception::Exception;
};
class EInvalidOp : public EMathError {
    using EMathError::EMathError;
};
class EZeroDivide : public EMathError {
    using EMathError::EMathError;
};
class EOverflow : public EMathError {
    using EMathError::EMathError;
};

// Integer faults.
class EIntError : public Exception {
    using Exception::Exception;
};
class EDivByZero : public EIntError {
    using EIntError::EIntError;
};

// An index outside a list ("Listenindex überschreitet das Maximum (%d)").
class EListError : public Exception {
    using Exception::Exception;
};

// A text that would not fit its box ("Text überschreitet Memo-Kapazität").
class EOutOfCapacity : public Exception {
    using Exception::Exception;
};

// Faults of the MIDI layer.
class EJclError : public Exception {
    using Exception::Exception;
};
class EJclMIDIError : public EJclError {
    using EJclError::EJclError;
};

// An action the user gave up (a lookup's "Abbrechen"): it ends without a message.
class EAborted : public Exception {
    using Exception::Exception;
};

// Input the program refuses with a message of its own (no run-time library text).
class EInvalidInput : public Exception {
    using Exception::Exception;
};
