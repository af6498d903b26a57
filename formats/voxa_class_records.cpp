// The record of every object-model class of the library, registered by the runtime start and the
// manager's Create. A class with a record (VOBJECT_IMPLEMENT_CLASS) adds it here.
#include "oxa_codec/voxa_builtins_internal.h"

#include "attributes/voxa_camera_properties.h"
#include "attributes/voxa_deformer.h"
#include "attributes/voxa_generic_node.h"
#include "attributes/voxa_light.h"
#include "attributes/voxa_marker.h"
#include "attributes/voxa_material.h"
#include "attributes/voxa_null.h"
#include "attributes/voxa_pose.h"
#include "attributes/voxa_skeleton.h"
#include "attributes/voxa_texture.h"
#include "attributes/voxa_video.h"
#include "character/voxa_character_properties.h"
#include "character/voxa_constraint_aim.h"
#include "character/voxa_constraint_parent.h"
#include "character/voxa_constraint_position.h"
#include "character/voxa_constraint_property.h"
#include "character/voxa_constraint_rotation.h"
#include "character/voxa_constraint_scale.h"
#include "character/voxa_constraint_single_chain_ik.h"
#include "character/voxa_control_set_plug.h"
#include "formats/motion/asf/voxa_asf_scene.h"
#include "objects/vobject.h"
#include "objects/vobject_list.h"
#include "objects/voxa_property_handler.h"
#include "objects/vplug.h"
#include "objects/vproperty.h"
#include "objects/vproperty_object_list.h"
#include "oxa_codec/vstream_options.h"
#include "scene/voxa_node_properties.h"

int VOxaRegisterClassRecords() {
    VClassInfo* const records[] = {
        &VObject::ClassInfo,
        &VObjectList::ClassInfo,
        &VOxaPropertyHandler::ClassInfo,
        &VPlug::ClassInfo,
        &VProperty::ClassInfo,
        &VPropertyObjectList::ClassInfo,
        &VStreamOptions::ClassInfo,
        &VStreamOptions3ds::ClassInfo,
        &VStreamOptionsBase::ClassInfo,
        &VStreamOptionsDxf::ClassInfo,
        &VStreamOptionsMotion::ClassInfo,
        &VStreamOptionsObj::ClassInfo,
        &VOxaNodeProperties::ClassInfo,
        &VOxaCameraProperties::ClassInfo,
        &VOxaClusterDeformerProperties::ClassInfo,
        &VOxaDeformerProperties::ClassInfo,
        &VOxaSkinDeformerProperties::ClassInfo,
        &VOxaGenericNodeProperties::ClassInfo,
        &VOxaLightProperties::ClassInfo,
        &VOxaMarkerProperties::ClassInfo,
        &VOxaMaterialProperties::ClassInfo,
        &VOxaNullProperties::ClassInfo,
        &VOxaPoseProperties::ClassInfo,
        &VOxaSkeletonProperties::ClassInfo,
        &VOxaTextureProperties::ClassInfo,
        &VOxaVideoProperties::ClassInfo,
        &VOxaCharacterProperties::ClassInfo,
        &VOxaConstraintAimProperties::ClassInfo,
        &VOxaConstraintParentProperties::ClassInfo,
        &VOxaConstraintPositionProperties::ClassInfo,
        &VOxaConstraintProperty::ClassInfo,
        &VOxaConstraintRotationProperties::ClassInfo,
        &VOxaConstraintScaleProperties::ClassInfo,
        &VOxaConstraintSingleChainIKProperties::ClassInfo,
        &VOxaControlSetPlugProperties::ClassInfo,
        &VOxaAsfScene::ClassInfo,
    };
    for (VClassInfo* record : records)
        RegisterClassId(record);
    return (int)(sizeof records / sizeof records[0]);
}
