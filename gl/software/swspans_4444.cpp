// The span routines of 4444 textures (rows 120-167), affine and perspective.
#include "gl/software/swmembers.h"
#include "gl/software/swspanlist.h"

namespace vornGL {

using namespace sw;

#define SPAN(name, ...) \
    void name(PTriangleSetup* s, int32_t yTop, int32_t yBottom) { SpanEngine<__VA_ARGS__>(s, yTop, yBottom); }

constexpr TexMode A = TexMode::Affine;
constexpr TexMode P = TexMode::PerspStepped;
constexpr Key4444 K0 = Key4444::Alpha0;
constexpr Key4444 K8 = Key4444::Below8;
constexpr Key4444 K27 = Key4444::Below8Bit27;

// Affine: every G member modulates; the A G members take the white fast path.
SPAN(DrawInnerT4444, C4444Replace<A, false, false>)
SPAN(DrawInnerGT4444, C4444Replace<A, true, false>)
SPAN(DrawInnerTZ4444, C4444Replace<A, false, true>)
SPAN(DrawInnerGTZ4444, C4444Replace<A, true, true>)
SPAN(DrawInnerAT4444, C4444Blend<Op::A, A, false, false, false, false>)
SPAN(DrawInnerAGT4444, C4444Blend<Op::A, A, true, false, true, true>)
SPAN(DrawInnerATZ4444, C4444Blend<Op::A, A, false, true, false, false>)
SPAN(DrawInnerAGTZ4444, C4444Blend<Op::A, A, true, true, true, true>)
SPAN(DrawInnerAAT4444, C4444Blend<Op::AA, A, false, false, false, false>)
SPAN(DrawInnerAAGT4444, C4444Blend<Op::AA, A, true, false, true, false>)
SPAN(DrawInnerAATZ4444, C4444Blend<Op::AA, A, false, true, false, false>)
SPAN(DrawInnerAAGTZ4444, C4444Blend<Op::AA, A, true, true, true, false>)
SPAN(DrawInnerMT4444, C4444Mul<Op::M, A, false, false, K0, false>)
SPAN(DrawInnerMGT4444, C4444Mul<Op::M, A, true, false, K0, true>)
SPAN(DrawInnerMTZ4444, C4444Mul<Op::M, A, false, true, K0, false>)
SPAN(DrawInnerMGTZ4444, C4444Mul<Op::M, A, true, true, K0, true>)
SPAN(DrawInnerMX2T4444, C4444Mul<Op::MX2, A, false, false, K0, false>)
SPAN(DrawInnerMX2GT4444, C4444Mul<Op::MX2, A, true, false, K0, true>)
SPAN(DrawInnerMX2TZ4444, C4444Mul<Op::MX2, A, false, true, K0, false>)
SPAN(DrawInnerMX2GTZ4444, C4444Mul<Op::MX2, A, true, true, K0, true>)

// Perspective: the A G members weigh by the vertex alpha only, the AA G members
// modulate, the M and MX2 G members use the vertex alpha in their key test
// only; the unblended G members modulate like the affine ones.
SPAN(DrawInnerTP4444, C4444Replace<P, false, false>)
SPAN(DrawInnerGTP4444, C4444Replace<P, true, false>)
SPAN(DrawInnerTPZ4444, C4444Replace<P, false, true>)
SPAN(DrawInnerGTPZ4444, C4444Replace<P, true, true>)
SPAN(DrawInnerATP4444, C4444Blend<Op::A, P, false, false, false, false>)
SPAN(DrawInnerAGTP4444, C4444Blend<Op::A, P, true, false, false, false>)
SPAN(DrawInnerATPZ4444, C4444Blend<Op::A, P, false, true, false, false>)
SPAN(DrawInnerAGTPZ4444, C4444Blend<Op::A, P, true, true, false, false>)
SPAN(DrawInnerAATP4444, C4444Blend<Op::AA, P, false, false, false, false>)
SPAN(DrawInnerAAGTP4444, C4444Blend<Op::AA, P, true, false, true, false>)
SPAN(DrawInnerAATPZ4444, C4444Blend<Op::AA, P, false, true, false, false>)
SPAN(DrawInnerAAGTPZ4444, C4444Blend<Op::AA, P, true, true, true, false>)
SPAN(DrawInnerMTP4444, C4444Mul<Op::M, P, false, false, K8, false>)
SPAN(DrawInnerMGTP4444, C4444Mul<Op::M, P, true, false, K27, false>)
SPAN(DrawInnerMTPZ4444, C4444Mul<Op::M, P, false, true, K0, false>)
SPAN(DrawInnerMGTPZ4444, C4444Mul<Op::M, P, true, true, K27, false>)
SPAN(DrawInnerMX2TP4444, C4444Mul<Op::MX2, P, false, false, K8, false>)
SPAN(DrawInnerMX2GTP4444, C4444Mul<Op::MX2, P, true, false, K27, false>)
SPAN(DrawInnerMX2TPZ4444, C4444Mul<Op::MX2, P, false, true, K0, false>)
SPAN(DrawInnerMX2GTPZ4444, C4444Mul<Op::MX2, P, true, true, K27, false>)

} // namespace vornGL
