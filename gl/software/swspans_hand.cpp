// The span routines of the 565 and untextured rows (rows 0-119 and row 177):
// smooth colour, 565 texels copied, blended with the vertex alpha, combined
// with the vertex colour (and then blended), affine or perspective, with or
// without depth.
#include "gl/software/swmembers.h"
#include "gl/software/swspanlist.h"

namespace vornGL {

using namespace sw;

#define SPAN(name, ...) \
    void name(PTriangleSetup* s, int32_t yTop, int32_t yBottom) { SpanEngine<__VA_ARGS__>(s, yTop, yBottom); }

constexpr TexMode A = TexMode::Affine;
constexpr TexMode P = TexMode::PerspExact;     // the copying perspective bodies
constexpr TexMode PB = TexMode::PerspExactOr1; // the blending perspective bodies

SPAN(PDrawCSAsm, HSmooth<false>)
SPAN(PDrawZCSAsm, HSmooth<true>)
SPAN(PDrawTAsm, HTex<A, false>)
SPAN(PDrawZTAsm, HTex<A, true>)
SPAN(PDrawTPAsm, HTex<P, false>)
SPAN(PDrawZTPAsm, HTex<P, true>)
SPAN(PDrawAFAsm, HFlat<Op::A, false>)
SPAN(PDrawAFZAsm, HFlat<Op::A, true>)
SPAN(PDrawAAFAsm, HFlat<Op::AA, false>)
SPAN(PDrawAAFZAsm, HFlat<Op::AA, true>)
SPAN(PDrawADDFAsm, HFlat<Op::Add, false>)
SPAN(PDrawADDFZAsm, HFlat<Op::Add, true>)
SPAN(PDrawATAsm, HTexBlend<Op::A, A, false>)
SPAN(PDrawATZAsm, HTexBlend<Op::A, A, true>)
SPAN(PDrawAATAsm, HTexBlend<Op::AA, A, false>)
SPAN(PDrawAATZAsm, HTexBlend<Op::AA, A, true>)
SPAN(PDrawADDTAsm, HTexBlend<Op::Add, A, false>)
SPAN(PDrawADDTZAsm, HTexBlend<Op::Add, A, true>)
SPAN(PDrawATPAsm, HTexBlend<Op::A, PB, false>)
SPAN(PDrawATPZAsm, HTexBlend<Op::A, PB, true>)
SPAN(PDrawAATPAsm, HTexBlend<Op::AA, PB, false>)
SPAN(PDrawAATPZAsm, HTexBlend<Op::AA, PB, true>)
SPAN(PDrawADDTPAsm, HTexBlend<Op::Add, PB, false>)
SPAN(PDrawADDTPZAsm, HTexBlend<Op::Add, PB, true>)
SPAN(PDrawAGAsm, HSmoothBlend<Op::A, false>)
SPAN(PDrawAGZAsm, HSmoothBlend<Op::A, true>)
SPAN(PDrawAAGAsm, HSmoothBlend<Op::AA, false>)
SPAN(PDrawAAGZAsm, HSmoothBlend<Op::AA, true>)
SPAN(PDrawADDGAsm, HSmoothBlend<Op::Add, false>)
SPAN(PDrawADDGZAsm, HSmoothBlend<Op::Add, true>)
SPAN(PDrawGTAsm, HTexColour<Env::Modulate, A, false>)
SPAN(PDrawGTZAsm, HTexColour<Env::Modulate, A, true>)
SPAN(PDrawGTPAsm, HTexColour<Env::Modulate, P, false>)
SPAN(PDrawGTPZAsm, HTexColour<Env::Modulate, P, true>)
SPAN(PDrawBTAsm, HTexColour<Env::AddColour, A, false>)
SPAN(PDrawBTZAsm, HTexColour<Env::AddColour, A, true>)
SPAN(PDrawBTPAsm, HTexColour<Env::AddColour, P, false>)
SPAN(PDrawBTPZAsm, HTexColour<Env::AddColour, P, true>)
SPAN(PDrawGWTAsm, HTexColour<Env::Grey, A, false>)
SPAN(PDrawGWTZAsm, HTexColour<Env::Grey, A, true>)
SPAN(PDrawGWTPAsm, HTexColour<Env::Grey, P, false>)
SPAN(PDrawGWTPZAsm, HTexColour<Env::Grey, P, true>)
SPAN(DrawInnerAGT, HTexColourBlend<Op::A, A, false>)
SPAN(DrawInnerAGTZ, HTexColourBlend<Op::A, A, true>)
SPAN(DrawInnerAGTP, HTexColourBlend<Op::A, PB, false>)
SPAN(DrawInnerAGTPZ, HTexColourBlend<Op::A, PB, true>)
SPAN(DrawInnerAAGT, HTexColourBlend<Op::AA, A, false>)
SPAN(DrawInnerAAGTZ, HTexColourBlend<Op::AA, A, true>)
SPAN(DrawInnerAAGTP, HTexColourBlend<Op::AA, PB, false>)
SPAN(DrawInnerAAGTPZ, HTexColourBlend<Op::AA, PB, true>)
SPAN(DrawInnerADDGT, HTexColourBlend<Op::Add, A, false>)
SPAN(DrawInnerADDGTZ, HTexColourBlend<Op::Add, A, true>)
SPAN(DrawInnerADDGTP, HTexColourBlend<Op::Add, PB, false>)
SPAN(DrawInnerADDGTPZ, HTexColourBlend<Op::Add, PB, true>)
SPAN(PDrawAGT88Asm, HAGT88<true>)
SPAN(PDrawAFT88Asm, HAGT88<false>)

} // namespace vornGL
