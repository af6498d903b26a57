// The manager's part for constraints.
#include "scene/voxa_sdk_manager.h"

VOxaConstraintPosition* VOxaSdkManager::NewConstraintPosition(const char*) {
    return nullptr;
}
VOxaConstraintRotation* VOxaSdkManager::NewConstraintRotation(const char*) {
    return nullptr;
}
VOxaConstraintScale* VOxaSdkManager::NewConstraintScale(const char*) {
    return nullptr;
}
VOxaConstraintParent* VOxaSdkManager::NewConstraintParent(const char*) {
    return nullptr;
}
VOxaConstraintSingleChainIK* VOxaSdkManager::NewConstraintSingleChainIK(const char*) {
    return nullptr;
}
VOxaConstraintAim* VOxaSdkManager::NewConstraintAim(const char*) {
    return nullptr;
}
VOxaConstraint* VOxaSdkManager::CreateConstraint(const char*, int) {
    return nullptr;
}
int VOxaSdkManager::GetConstraintCount() const {
    return 0;
}
int VOxaSdkManager::GetConstraintCountByType(int) const {
    return 0;
}
VOxaConstraint* VOxaSdkManager::GetConstraint(int, int) const {
    return nullptr;
}
