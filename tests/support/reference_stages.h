// The text stages written exactly as their rules are stated -- rescanning from
// the front after every change, copying the remainder at every cut -- to check
// the engine's single-pass versions against. Quadratic; for tests only.
#pragma once

#include "engine/document_state.h"
#include "engine/typeset_options.h"

namespace quenlet::reference {

void dotRuns(DocumentState& s);  // the dot-run part of ZZZ1 (DotsToEllipsis on)
void TH0(DocumentState& s);
void TH(DocumentState& s, const TypesetOptions& options);
void DJ(DocumentState& s);

}  // namespace quenlet::reference
