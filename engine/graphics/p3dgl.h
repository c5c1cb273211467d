// The GL enumerants the drawing classes pass through the GL layer. They are
// spelled out here so that no drawing class includes a GL header and calls a
// platform GL function by accident; the values are those of OpenGL ES 1.1 and
// its OES, IMG and AMD extensions.
#pragma once
#include <cstdint>

namespace p3dgl {

constexpr uint32_t kZero = 0, kOne = 1;
constexpr uint32_t kSrcAlpha = 0x0302, kOneMinusSrcAlpha = 0x0303;
constexpr uint32_t kTriangles = 0x0004, kTriangleStrip = 0x0005, kTriangleFan = 0x0006;
constexpr uint32_t kByte = 0x1400, kUnsignedByte = 0x1401, kShort = 0x1402, kUnsignedShort = 0x1403,
                   kFloat = 0x1406, kFixed = 0x140C;
constexpr uint32_t kCullFace = 0x0B44, kBlend = 0x0BE2, kScissorTest = 0x0C11, kTexture2D = 0x0DE1,
                   kAlphaTest = 0x0BC0, kDepthTest = 0x0B71;
constexpr uint32_t kVertexArray = 0x8074, kNormalArray = 0x8075, kColorArray = 0x8076, kTexCoordArray = 0x8078;
constexpr uint32_t kCW = 0x0900, kBack = 0x0405, kGreater = 0x0204;
constexpr uint32_t kCCW = 0x0901, kLequal = 0x0203, kFrontAndBack = 0x0408;
constexpr uint32_t kPerspectiveCorrectionHint = 0x0C50, kNicest = 0x1102;
constexpr uint32_t kLighting = 0x0B50, kLight0 = 0x4000, kAmbient = 0x1200, kDiffuse = 0x1201, kSpecular = 0x1202;
constexpr uint32_t kDepthBufferBit = 0x0100;
constexpr uint32_t kColorBufferBit = 0x4000;
constexpr uint32_t kVersion = 0x1F02, kRenderer = 0x1F01, kVendor = 0x1F00;
constexpr uint32_t kTexture0 = 0x84C0;
constexpr uint32_t kTextureEnv = 0x2300, kTextureEnvMode = 0x2200;
constexpr uint32_t kModulate = 0x2100, kDecal = 0x2101, kReplace = 0x1E01, kAdd = 0x0104, kBlendEnv = 0x0BE2;
constexpr uint32_t kCurrentColor = 0x0B00, kDepthRange = 0x0B70;
constexpr uint32_t kModelviewMatrix = 0x0BA6, kProjectionMatrix = 0x0BA7;
constexpr uint32_t kModelview = 0x1700, kProjection = 0x1701;
constexpr uint32_t kMaxTextureSize = 0x0D33;
constexpr uint32_t kTexMagFilter = 0x2800, kTexMinFilter = 0x2801, kTexWrapS = 0x2802, kTexWrapT = 0x2803;
constexpr uint32_t kNearest = 0x2600, kLinear = 0x2601, kNearestMipmapNearest = 0x2700,
                   kLinearMipmapNearest = 0x2701, kNearestMipmapLinear = 0x2702, kLinearMipmapLinear = 0x2703;
constexpr uint32_t kRepeat = 0x2901, kClampToEdge = 0x812F;
constexpr uint32_t kUnpackAlignment = 0x0CF5;

// Pixel formats and types.
constexpr uint32_t kAlpha = 0x1906, kRGB = 0x1907, kRGBA = 0x1908, kLuminance = 0x1909, kLuminanceAlpha = 0x190A;
constexpr uint32_t kUnsignedShort4444 = 0x8033, kUnsignedShort5551 = 0x8034, kUnsignedShort565 = 0x8363;

// Paletted formats (OES_compressed_paletted_texture): the five 4-bit ones,
// then the five 8-bit ones, each in the order RGB8, RGBA8, R5_G6_B5, RGBA4,
// RGB5_A1.
constexpr uint32_t kPalette4RGB8 = 0x8B90, kPalette4RGBA8 = 0x8B91, kPalette4R5G6B5 = 0x8B92,
                   kPalette4RGBA4 = 0x8B93, kPalette4RGB5A1 = 0x8B94;
constexpr uint32_t kPalette8RGB8 = 0x8B95, kPalette8RGBA8 = 0x8B96, kPalette8R5G6B5 = 0x8B97,
                   kPalette8RGBA4 = 0x8B98, kPalette8RGB5A1 = 0x8B99;

// Compressed formats of the texture files.
constexpr uint32_t kPVRTC_RGB4 = 0x8C00, kPVRTC_RGB2 = 0x8C01, kPVRTC_RGBA4 = 0x8C02, kPVRTC_RGBA2 = 0x8C03;
constexpr uint32_t kATC_RGB = 0x8C92, kATC_RGBA_Explicit = 0x8C93, kATC_RGBA_Interpolated = 0x87EE;
constexpr uint32_t kETC1_RGB8 = 0x8D64;

} // namespace p3dgl
