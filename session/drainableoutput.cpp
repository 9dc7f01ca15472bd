// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "session/drainableoutput.h"

namespace korvane {

DrainableOutput::~DrainableOutput() = default;

} // namespace korvane
