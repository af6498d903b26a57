#include "oxa_codec/voxa_builtins_internal.h"

#include "formats/geometry/3ds/voxa_reader_3ds.h"
#include "formats/geometry/3ds/voxa_writer_3ds.h"
#include "formats/geometry/dxf/voxa_reader_dxf.h"
#include "formats/geometry/dxf/voxa_writer_dxf.h"
#include "formats/geometry/obj/voxa_reader_obj.h"
#include "formats/geometry/obj/voxa_writer_obj.h"
#include "formats/motion/bvh/voxa_reader_biovision.h"
#include "formats/motion/bvh/voxa_writer_biovision.h"

#include "formats/motion/amc/voxa_reader_acclaim_amc.h"
#include "formats/motion/amc/voxa_writer_acclaim_amc.h"
#include "formats/motion/aoa/voxa_adaptive_optics.h"
#include "formats/motion/asf/voxa_reader_acclaim_asf.h"
#include "formats/motion/asf/voxa_writer_acclaim_asf.h"
#include "formats/motion/brd/voxa_ascension.h"
#include "formats/motion/c3d/voxa_file_vicon.h"
#include "formats/motion/htr/voxa_reader_htr.h"
#include "formats/motion/htr/voxa_writer_htr.h"
#include "formats/motion/mov/voxa_corvelund_mov.h"
#include "formats/motion/trc/voxa_motion_analysis_trc.h"
#include "formats/motion/vpm/voxa_puppeteer.h"

namespace {

// The formats the library reads and writes. Each format adds its row here, for example
//     {"obj", "OBJ geometry (*.obj)", &CreateObjReader},
// and the codec's tables start with the rows in this order, which gives their indexes.

// The readers, in the order of their indexes.
const VOxaReaderFormat kReaderFormats[] = {
    {"obj", "OBJ geometry (*.obj)", &CreateObjReader},
    {"dxf", "DXF (*.dxf)", &CreateDxfReader},
    {"bvh", "BVH motion capture (*.bvh)", &VOxaCreateReaderBiovision},
    {"brd", "BRD motion capture (*.brd)", &VOxaCreateBrdReader},
    {"mov", "MOV motion capture (*.mov)", &VOxaCreateMovReader},
    {"vpm", "VPM motion capture (*.vpm)", &VOxaCreateVpmReader},
    {"aoa", "AOA motion capture (*.aoa)", &VOxaCreateAoaReader},
    {"mcd", "MCD motion capture (*.mcd)", &VOxaCreateMcdReader},
    {"trc", "TRC motion capture (*.trc)", &VOxaCreateTrcReader},
    {"htr", "HTR motion capture (*.htr)", &VOxaCreateHtrReader},
    {"asf", "ASF skeleton (*.asf)", &VOxaCreateReaderAcclaimAsf},
    {"amc", "AMC motion capture (*.amc)", &VOxaCreateReaderAcclaimAmc},
    {"c3d", "C3D motion capture (*.c3d)", &VOxaCreateC3dReader},
    {"3ds", "3DS geometry (*.3ds)", &VOxaCreateReader3DS},
};

// The writers, in the order of their indexes (the exporter's format index).
const VOxaWriterFormat kWriterFormats[] = {
    {"obj", "OBJ geometry (*.obj)", &CreateObjWriter},
    {"dxf", "DXF (*.dxf)", &CreateDxfWriter},
    {"bvh", "BVH motion capture (*.bvh)", &VOxaCreateWriterBiovision},
    {"brd", "BRD motion capture (*.brd)", &VOxaCreateBrdWriter},
    {"mov", "MOV motion capture (*.mov)", &VOxaCreateMovWriter},
    {"vpm", "VPM motion capture (*.vpm)", &VOxaCreateVpmWriter},
    {"aoa", "AOA motion capture (*.aoa)", &VOxaCreateAoaWriter},
    {"mcd", "MCD motion capture (*.mcd)", &VOxaCreateMcdWriter},
    {"trc", "TRC motion capture (*.trc)", &VOxaCreateTrcWriter},
    {"htr", "HTR motion capture (*.htr)", &VOxaCreateHtrWriter},
    {"asf", "ASF skeleton (*.asf)", &VOxaCreateWriterAcclaimAsf},
    {"amc", "AMC motion capture (*.amc)", &VOxaCreateWriterAcclaimAmc},
    {"c3d", "C3D motion capture (*.c3d)", &VOxaCreateC3dWriter},
    {"3ds", "3DS geometry (*.3ds)", &CreateWriter3DS},
};

}  // namespace

const VOxaReaderFormat* VOxaBuiltinReaderFormats(int* count) {
    *count = (int)(sizeof kReaderFormats / sizeof kReaderFormats[0]);
    return kReaderFormats;
}

const VOxaWriterFormat* VOxaBuiltinWriterFormats(int* count) {
    *count = (int)(sizeof kWriterFormats / sizeof kWriterFormats[0]);
    return kWriterFormats;
}
