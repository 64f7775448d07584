// A binding header that reaches up into the plugin: the layering check must
// refuse it.
#pragma once

#include "plugin/planted_facade.h"
