// The errors by which an in-place editor turns down its value. The check
// runs while the grid moves on (a key, leaving the cell); the error
// abandons that move, the window boundary reports its message and the
// editor keeps the focus. The grid and the boundary catch the common base.
#pragma once
#include <stdexcept>
#include <string>

class EGridEditError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The editor's own check (its OnValidate handler may change the text).
class EGridEditInvalidInput : public EGridEditError {
 public:
  using EGridEditError::EGridEditError;
};

// The mask editor's check: a required position of the mask is empty.
class EDBEditError : public EGridEditError {
 public:
  using EGridEditError::EGridEditError;
};

// The messages as the user sees them (the mask editor's has two spaces).
inline constexpr const char* kGridEditInvalidInputText =
    "Invalid input value. Use escape key to abandon changes";
inline constexpr const char* kMaskEditInvalidInputText =
    "Invalid input value.  Use escape key to abandon changes";
