#pragma once
// The integer functions behind the formula language's built-in functions.
// Every function answers exactly and quickly for every 32-bit argument.
#include "formula/arithmetic.h"
#include "formula/primes.h"
