// The span routines of 88 textures (rows 168-216), affine and perspective.
#include "gl/software/swmembers.h"
#include "gl/software/swspanlist.h"

namespace vornGL {

using namespace sw;

#define SPAN(name, ...) \
    void name(PTriangleSetup* s, int32_t yTop, int32_t yBottom) { SpanEngine<__VA_ARGS__>(s, yTop, yBottom); }

constexpr TexMode A = TexMode::Affine;
constexpr TexMode P = TexMode::PerspStepped;

// Affine: depth is neither tested nor written, except that the AA depth
// members test it; keyed copies skip alpha below 8.
SPAN(DrawInnerT88, C88Key<Op::Replace, A, false, false, 8>)
SPAN(DrawInnerGT88, C88Key<Op::Replace, A, true, false, 8>)
SPAN(DrawInnerTZ88, C88Key<Op::Replace, A, false, false, 8>)
SPAN(DrawInnerGTZ88, C88Key<Op::Replace, A, true, false, 8>)
SPAN(DrawInnerAT88, C88Blend<Op::A, A, false, false, false>)
SPAN(DrawInnerAGT88, C88Blend<Op::A, A, true, false, true>)
SPAN(DrawInnerATZ88, C88Blend<Op::A, A, false, false, false>)
SPAN(DrawInnerAGTZ88, C88Blend<Op::A, A, true, false, true>)
SPAN(DrawInnerABGT88, C88Bilinear)
SPAN(DrawInnerADDT88, C88Add<false, 128, false>)
SPAN(DrawInnerADDGT88, C88Add<true, 8, true>)
SPAN(DrawInnerADDTZ88, C88Add<false, 8, false>)
SPAN(DrawInnerADDGTZ88, C88Add<true, 8, false>)
SPAN(DrawInnerAAT88, C88Blend<Op::AA, A, false, false, false>)
SPAN(DrawInnerAAGT88, C88Blend<Op::AA, A, true, false, false>)
SPAN(DrawInnerAATZ88, C88Blend<Op::AA, A, false, true, false>)
SPAN(DrawInnerAAGTZ88, C88Blend<Op::AA, A, true, true, false>)
SPAN(DrawInnerMT88, C88Key<Op::M, A, false, false, 8>)
SPAN(DrawInnerMGT88, C88Key<Op::M, A, true, false, 8>)
SPAN(DrawInnerMTZ88, C88Key<Op::M, A, false, false, 8>)
SPAN(DrawInnerMGTZ88, C88Key<Op::M, A, true, false, 8>)
SPAN(DrawInnerMX2T88, C88Key<Op::MX2, A, false, false, 8>)
SPAN(DrawInnerMX2GT88, C88Key<Op::MX2, A, true, false, 8>)
SPAN(DrawInnerMX2TZ88, C88Key<Op::MX2, A, false, false, 8>)
SPAN(DrawInnerMX2GTZ88, C88Key<Op::MX2, A, true, false, 8>)

// Perspective: keyed copies skip alpha below 128; depth members test at every
// pixel and never write; G members always modulate.
SPAN(DrawInnerTP88, C88Key<Op::Replace, P, false, false, 128>)
SPAN(DrawInnerGTP88, C88Key<Op::Replace, P, true, false, 128>)
SPAN(DrawInnerTPZ88, C88Key<Op::Replace, P, false, true, 128>)
SPAN(DrawInnerGTPZ88, C88Key<Op::Replace, P, true, true, 128>)
SPAN(DrawInnerATP88, C88Blend<Op::A, P, false, false, false>)
SPAN(DrawInnerAGTP88, C88Blend<Op::A, P, true, false, false>)
SPAN(DrawInnerATPZ88, C88Blend<Op::A, P, false, true, false>)
SPAN(DrawInnerAGTPZ88, C88Blend<Op::A, P, true, true, false>)
SPAN(DrawInnerAATP88, C88Blend<Op::AA, P, false, false, false>)
SPAN(DrawInnerAAGTP88, C88Blend<Op::AA, P, true, false, false>)
SPAN(DrawInnerAATPZ88, C88Blend<Op::AA, P, false, true, false>)
SPAN(DrawInnerAAGTPZ88, C88Blend<Op::AA, P, true, true, false>)
SPAN(DrawInnerMTP88, C88Key<Op::M, P, false, false, 128>)
SPAN(DrawInnerMGTP88, C88Key<Op::M, P, true, false, 128>)
SPAN(DrawInnerMTPZ88, C88Key<Op::M, P, false, true, 128>)
SPAN(DrawInnerMGTPZ88, C88Key<Op::M, P, true, true, 128>)
SPAN(DrawInnerMX2TP88, C88Key<Op::MX2, P, false, false, 128>)
SPAN(DrawInnerMX2GTP88, C88Key<Op::MX2, P, true, false, 128>)
SPAN(DrawInnerMX2TPZ88, C88Key<Op::MX2, P, false, true, 128>)
SPAN(DrawInnerMX2GTPZ88, C88Key<Op::MX2, P, true, true, 128>)

} // namespace vornGL
