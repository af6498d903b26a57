// The 3DS chunk toolkit: every record and operation in one include.
#ifndef OXA_FORMATS_GEOMETRY_3DS_FTK_H
#define OXA_FORMATS_GEOMETRY_3DS_FTK_H

#include <oxa/formats/geometry/3ds/ftk_core.h>
#include <oxa/formats/geometry/3ds/ftk_database.h>
#include <oxa/formats/geometry/3ds/ftk_keyframer.h>
#include <oxa/formats/geometry/3ds/ftk_light.h>
#include <oxa/formats/geometry/3ds/ftk_material.h>
#include <oxa/formats/geometry/3ds/ftk_mesh.h>
#include <oxa/formats/geometry/3ds/ftk_motion.h>
#include <oxa/formats/geometry/3ds/ftk_tags.h>

#endif  // OXA_FORMATS_GEOMETRY_3DS_FTK_H
