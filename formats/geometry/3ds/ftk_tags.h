// Chunk tags of the 3DS chunk file, as the toolkit names them. Only the low 16 bits of a tag reach
// a file. Tags that the toolkit does not list here are carried through as raw blocks.
#ifndef OXA_FORMATS_GEOMETRY_3DS_FTK_TAGS_H
#define OXA_FORMATS_GEOMETRY_3DS_FTK_TAGS_H

#include <cstdint>

namespace Ftk {

// File and sections.
constexpr uint32_t FILE_MAIN = 0x4D4D;
constexpr uint32_t FILE_PROJECT = 0xC23D;
constexpr uint32_t FILE_MATLIB = 0x3DAA;
constexpr uint32_t FILE_VERSION = 0x0002;
constexpr uint32_t EDITOR_DATA = 0x3D3D;
constexpr uint32_t EDITOR_VERSION = 0x3D3E;
constexpr uint32_t KEYFRAMER_DATA = 0xB000;
constexpr uint32_t EXTENDED_DATA = 0x8000;
constexpr uint32_t EXTENDED_DATA_ENTRY = 0x8001;
constexpr uint32_t EXTENDED_DATA_NAME = 0x8002;
constexpr uint32_t EXTENDED_DATA_STRING = 0x8003;
// Containers that only the own-data skip and the rank table know.
constexpr uint32_t CHUNK_3DFF = 0x3DFF;
constexpr uint32_t CHUNK_2D2D = 0x2D2D;
constexpr uint32_t CHUNK_2D3D = 0x2D3D;
constexpr uint32_t CHUNK_D000 = 0xD000;

// Values shared by many parents.
constexpr uint32_t COLOR_FLOAT = 0x0010;
constexpr uint32_t COLOR_BYTE = 0x0011;
constexpr uint32_t COLOR_BYTE_GAMMA = 0x0012;
constexpr uint32_t COLOR_FLOAT_GAMMA = 0x0013;
constexpr uint32_t PERCENT_INT = 0x0030;
constexpr uint32_t PERCENT_FLOAT = 0x0031;

// Editor settings, atmosphere, backgrounds and views.
constexpr uint32_t MASTER_SCALE = 0x0100;
constexpr uint32_t BACKGROUND_BITMAP = 0x1100;
constexpr uint32_t USE_BACKGROUND_BITMAP = 0x1101;
constexpr uint32_t BACKGROUND_SOLID = 0x1200;
constexpr uint32_t USE_BACKGROUND_SOLID = 0x1201;
constexpr uint32_t BACKGROUND_GRADIENT = 0x1300;
constexpr uint32_t USE_BACKGROUND_GRADIENT = 0x1301;
constexpr uint32_t SHADOW_LOW_BIAS = 0x1400;
constexpr uint32_t SHADOW_HIGH_BIAS = 0x1410;
constexpr uint32_t SHADOW_MAP_SIZE = 0x1420;
constexpr uint32_t SHADOW_SAMPLES = 0x1430;
constexpr uint32_t SHADOW_RANGE = 0x1440;
constexpr uint32_t SHADOW_FILTER = 0x1450;
constexpr uint32_t SHADOW_RAY_BIAS = 0x1460;
constexpr uint32_t CONSTRUCTION_ORIGIN = 0x1500;
constexpr uint32_t AMBIENT_COLOR = 0x2100;
constexpr uint32_t FOG = 0x2200;
constexpr uint32_t USE_FOG = 0x2201;
constexpr uint32_t FOG_BACKGROUND = 0x2210;
constexpr uint32_t DISTANCE_CUE = 0x2300;
constexpr uint32_t USE_DISTANCE_CUE = 0x2301;
constexpr uint32_t LAYER_FOG = 0x2302;
constexpr uint32_t USE_LAYER_FOG = 0x2303;
constexpr uint32_t DISTANCE_CUE_BACKGROUND = 0x2310;
constexpr uint32_t VIEW_DEFAULT = 0x3000;
constexpr uint32_t VIEW_TOP = 0x3010;
constexpr uint32_t VIEW_BOTTOM = 0x3020;
constexpr uint32_t VIEW_3030 = 0x3030;
constexpr uint32_t VIEW_3040 = 0x3040;
constexpr uint32_t VIEW_3050 = 0x3050;
constexpr uint32_t VIEW_3060 = 0x3060;
constexpr uint32_t VIEW_USER = 0x3070;
constexpr uint32_t VIEW_CAMERA = 0x3080;
constexpr uint32_t VIEWPORT_LAYOUT = 0x7001;
constexpr uint32_t VIEWPORT_DATA = 0x7011;
constexpr uint32_t VIEWPORT_DATA_3 = 0x7012;
constexpr uint32_t VIEWPORT_SIZE = 0x7020;

// Named objects.
constexpr uint32_t OBJECT_BLOCK = 0x4000;
constexpr uint32_t OBJECT_HIDDEN = 0x4010;
constexpr uint32_t OBJECT_FLAG_4011 = 0x4011;
constexpr uint32_t OBJECT_NO_CAST_SHADOW = 0x4012;
constexpr uint32_t OBJECT_MATTE = 0x4013;
constexpr uint32_t OBJECT_FLAG_4014 = 0x4014;
constexpr uint32_t OBJECT_PROCEDURAL = 0x4015;
constexpr uint32_t OBJECT_FROZEN = 0x4016;
constexpr uint32_t OBJECT_NO_RECEIVE_SHADOW = 0x4017;
constexpr uint32_t TRIANGLE_MESH = 0x4100;
constexpr uint32_t MESH_VERTICES = 0x4110;
constexpr uint32_t MESH_VERTEX_FLAGS = 0x4111;
constexpr uint32_t MESH_FACES = 0x4120;
constexpr uint32_t FACE_MATERIAL = 0x4130;
constexpr uint32_t MESH_MAPPING_COORDS = 0x4140;
constexpr uint32_t FACE_SMOOTHING = 0x4150;
constexpr uint32_t MESH_LOCAL_AXES = 0x4160;
constexpr uint32_t MESH_COLOR = 0x4165;
constexpr uint32_t MESH_MAPPING_INFO = 0x4170;
constexpr uint32_t MESH_PROCEDURE_NAME = 0x4181;
constexpr uint32_t MESH_PROCEDURE_DATA = 0x4182;
constexpr uint32_t MESH_BOX_MAP = 0x4190;
constexpr uint32_t LIGHT = 0x4600;
constexpr uint32_t SPOTLIGHT = 0x4610;
constexpr uint32_t LIGHT_OFF = 0x4620;
constexpr uint32_t LIGHT_ATTENUATE = 0x4625;
constexpr uint32_t SPOT_RAY_TRACED = 0x4627;
constexpr uint32_t SPOT_SHADOWED = 0x4630;
constexpr uint32_t SPOT_LOCAL_SHADOW = 0x4640;
constexpr uint32_t SPOT_SHADOW_PARAMS = 0x4641;
constexpr uint32_t SPOT_SHOW_CONE = 0x4650;
constexpr uint32_t SPOT_RECTANGULAR = 0x4651;
constexpr uint32_t SPOT_OVERSHOOT = 0x4652;
constexpr uint32_t SPOT_PROJECTOR = 0x4653;
constexpr uint32_t LIGHT_EXCLUDE = 0x4654;
constexpr uint32_t SPOT_ROLL = 0x4656;
constexpr uint32_t SPOT_ASPECT = 0x4657;
constexpr uint32_t SPOT_RAY_BIAS = 0x4658;
constexpr uint32_t LIGHT_INNER_RANGE = 0x4659;
constexpr uint32_t LIGHT_OUTER_RANGE = 0x465A;
constexpr uint32_t LIGHT_MULTIPLIER = 0x465B;
constexpr uint32_t CAMERA = 0x4700;
constexpr uint32_t CAMERA_SHOW_CONE = 0x4710;
constexpr uint32_t CAMERA_RANGES = 0x4720;

// Materials.
constexpr uint32_t MATERIAL_BLOCK = 0xAFFF;
constexpr uint32_t MATERIAL_NAME = 0xA000;
constexpr uint32_t MATERIAL_AMBIENT = 0xA010;
constexpr uint32_t MATERIAL_DIFFUSE = 0xA020;
constexpr uint32_t MATERIAL_SPECULAR = 0xA030;
constexpr uint32_t MATERIAL_SHININESS = 0xA040;
constexpr uint32_t MATERIAL_SHINE_STRENGTH = 0xA041;
constexpr uint32_t MATERIAL_SHINE_3 = 0xA042;
constexpr uint32_t MATERIAL_TRANSPARENCY = 0xA050;
constexpr uint32_t MATERIAL_FALLOFF = 0xA052;
constexpr uint32_t MATERIAL_REFLECT_BLUR = 0xA053;
constexpr uint32_t MATERIAL_SELF_ILLUM = 0xA080;
constexpr uint32_t MATERIAL_TWO_SIDED = 0xA081;
constexpr uint32_t MATERIAL_FLAG_A082 = 0xA082;  // decal
constexpr uint32_t MATERIAL_FLAG_A083 = 0xA083;
constexpr uint32_t MATERIAL_SELF_ILLUM_PERCENT = 0xA084;
constexpr uint32_t MATERIAL_WIRE = 0xA085;
constexpr uint32_t MATERIAL_WIRE_SIZE = 0xA087;
constexpr uint32_t MATERIAL_FLAG_A088 = 0xA088;
constexpr uint32_t MATERIAL_FALLOFF_IN = 0xA08A;
constexpr uint32_t MATERIAL_FLAG_A08C = 0xA08C;
constexpr uint32_t MATERIAL_FLAG_A08E = 0xA08E;
constexpr uint32_t MATERIAL_SHADING = 0xA100;
constexpr uint32_t MATERIAL_USE_FALLOFF = 0xA240;
constexpr uint32_t MATERIAL_USE_REFLECT_BLUR = 0xA250;
constexpr uint32_t MAP_TEXTURE_1 = 0xA200;
constexpr uint32_t MAP_TEXTURE_2 = 0xA33A;
constexpr uint32_t MAP_OPACITY = 0xA210;
constexpr uint32_t MAP_BUMP = 0xA230;
constexpr uint32_t MAP_SPECULAR = 0xA204;
constexpr uint32_t MAP_SHININESS = 0xA33C;
constexpr uint32_t MAP_SELF_ILLUM = 0xA33D;
constexpr uint32_t MAP_REFLECTION = 0xA220;
constexpr uint32_t MASK_TEXTURE_1 = 0xA33E;
constexpr uint32_t MASK_TEXTURE_2 = 0xA340;
constexpr uint32_t MASK_OPACITY = 0xA342;
constexpr uint32_t MASK_BUMP = 0xA344;
constexpr uint32_t MASK_SPECULAR = 0xA348;
constexpr uint32_t MASK_SHININESS = 0xA346;
constexpr uint32_t MASK_SELF_ILLUM = 0xA34A;
constexpr uint32_t MASK_REFLECTION = 0xA34C;
constexpr uint32_t MAP_PARAMS_TEXTURE_1 = 0xA320;
constexpr uint32_t MAP_PARAMS_TEXTURE_2 = 0xA321;
constexpr uint32_t MAP_PARAMS_OPACITY = 0xA322;
constexpr uint32_t MAP_PARAMS_BUMP = 0xA324;
constexpr uint32_t MAP_PARAMS_SPECULAR = 0xA325;
constexpr uint32_t MAP_PARAMS_SHININESS = 0xA326;
constexpr uint32_t MAP_PARAMS_SELF_ILLUM = 0xA328;
constexpr uint32_t MASK_PARAMS_TEXTURE_1 = 0xA32A;
constexpr uint32_t MASK_PARAMS_TEXTURE_2 = 0xA32C;
constexpr uint32_t MASK_PARAMS_OPACITY = 0xA32E;
constexpr uint32_t MASK_PARAMS_BUMP = 0xA330;
constexpr uint32_t MASK_PARAMS_SPECULAR = 0xA332;
constexpr uint32_t MASK_PARAMS_SHININESS = 0xA334;
constexpr uint32_t MASK_PARAMS_SELF_ILLUM = 0xA336;
constexpr uint32_t MASK_PARAMS_REFLECTION = 0xA338;
constexpr uint32_t MAP_BUMP_PERCENT = 0xA252;
constexpr uint32_t MAP_FILE_NAME = 0xA300;
constexpr uint32_t MATERIAL_AUTO_REFLECTION = 0xA310;
constexpr uint32_t MAP_TILING = 0xA351;
constexpr uint32_t MAP_BLUR = 0xA353;
constexpr uint32_t MAP_U_SCALE = 0xA354;
constexpr uint32_t MAP_V_SCALE = 0xA356;
constexpr uint32_t MAP_U_OFFSET = 0xA358;
constexpr uint32_t MAP_V_OFFSET = 0xA35A;
constexpr uint32_t MAP_ROTATION = 0xA35C;
constexpr uint32_t MAP_TINT_1 = 0xA360;
constexpr uint32_t MAP_TINT_2 = 0xA362;
constexpr uint32_t MAP_TINT_R = 0xA364;
constexpr uint32_t MAP_TINT_G = 0xA366;
constexpr uint32_t MAP_TINT_B = 0xA368;

// Keyframer section.
constexpr uint32_t KEYFRAMER_HEADER = 0xB00A;
constexpr uint32_t KEYFRAMER_SEGMENT = 0xB008;
constexpr uint32_t KEYFRAMER_CURRENT_FRAME = 0xB009;
constexpr uint32_t AMBIENT_NODE = 0xB001;
constexpr uint32_t OBJECT_NODE = 0xB002;
constexpr uint32_t CAMERA_NODE = 0xB003;
constexpr uint32_t CAMERA_TARGET_NODE = 0xB004;
constexpr uint32_t LIGHT_NODE = 0xB005;
constexpr uint32_t LIGHT_TARGET_NODE = 0xB006;
constexpr uint32_t SPOTLIGHT_NODE = 0xB007;
constexpr uint32_t NODE_ID = 0xB030;
constexpr uint32_t NODE_HEADER = 0xB010;
constexpr uint32_t NODE_PARENT_NAME = 0x80F0;  // in memory only, never written
constexpr uint32_t NODE_INSTANCE_NAME = 0xB011;
constexpr uint32_t NODE_PIVOT = 0xB013;
constexpr uint32_t NODE_BOUNDING_BOX = 0xB014;
constexpr uint32_t NODE_MORPH_SMOOTH = 0xB015;
constexpr uint32_t TRACK_POSITION = 0xB020;
constexpr uint32_t TRACK_ROTATION = 0xB021;
constexpr uint32_t TRACK_SCALE = 0xB022;
constexpr uint32_t TRACK_FOV = 0xB023;
constexpr uint32_t TRACK_ROLL = 0xB024;
constexpr uint32_t TRACK_COLOR = 0xB025;
constexpr uint32_t TRACK_MORPH = 0xB026;
constexpr uint32_t TRACK_HOTSPOT = 0xB027;
constexpr uint32_t TRACK_FALLOFF = 0xB028;
constexpr uint32_t TRACK_HIDE = 0xB029;

}  // namespace Ftk

#endif  // OXA_FORMATS_GEOMETRY_3DS_FTK_TAGS_H
