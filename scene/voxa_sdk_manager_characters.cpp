// The manager's part for characters, control-set plugs and character poses.
#include <new>

#include "base/vallocation_hook.h"
#include "character/voxa_character.h"
#include "character/voxa_character_pose.h"
#include "character/voxa_control_set_plug.h"
#include "scene/voxa_make_listed_internal.h"
#include "scene/voxa_sdk_manager.h"

VOxaCharacter* VOxaSdkManager::NewCharacter(const char* name) {
    return name ? oxa_alloc::Counted(new (std::nothrow) VOxaCharacter(this, name)) : nullptr;
}

VOxaControlSetPlug* VOxaSdkManager::NewControlSetPlug(const char* name) {
    return name ? oxa_alloc::Counted(new (std::nothrow) VOxaControlSetPlug(this, name)) : nullptr;
}

VOxaCharacterPose* VOxaSdkManager::NewCharacterPose(const char* name) {
    return name ? oxa_alloc::Counted(new (std::nothrow) VOxaCharacterPose(this, name)) : nullptr;
}

VOxaCharacter* VOxaSdkManager::CreateCharacter(const char* name) {
    return MakeObjectListed([&] { return NewCharacter(VOxaMakeObjectName("Constraint::", name).Buffer()); });
}
