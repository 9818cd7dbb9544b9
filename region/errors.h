// Exception classes of the window-shaping subsystem.
#pragma once

#include <stdexcept>
#include <string>

namespace brevaro::region {

// Every error of the region description language.
class ECannotTranslate : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The platform's division-by-zero error raised by `/` with a zero divisor;
// not an ECannotTranslate, so it carries no line number.
class EDivByZero : public std::runtime_error {
 public:
  EDivByZero() : std::runtime_error("Division by zero") {}
};

class EOwnerMustBeForm : public std::runtime_error {
 public:
  explicit EOwnerMustBeForm(const std::string& class_name)
      : std::runtime_error("The owner of " + class_name + " component must be the TForm descendant") {}
};

class EDuplicateComponent : public std::runtime_error {
 public:
  EDuplicateComponent() : std::runtime_error("Only one TFormRegion component on a form is allowed") {}
};

// The framework's component error (naming rules).
class EComponentError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
  // A name that another component of the form already has.
  static EComponentError duplicate_name(const std::string& name) {
    return EComponentError("A component named " + name + " already exists");
  }
};

}  // namespace brevaro::region
