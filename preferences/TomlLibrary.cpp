// toml++ itself, compiled once for every user of preferences/Toml.h.
#define TOML_IMPLEMENTATION
#include "preferences/Toml.h"
