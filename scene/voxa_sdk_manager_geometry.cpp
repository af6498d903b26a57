// The manager's part for geometry: meshes, optical references, links, shapes, poses and
// deformers.
#include "scene/voxa_sdk_manager.h"

VOxaMesh* VOxaSdkManager::NewMesh() {
    return nullptr;
}
VOxaOpticalReference* VOxaSdkManager::NewOpticalReference() {
    return nullptr;
}
VOxaLink* VOxaSdkManager::NewLink() {
    return nullptr;
}
VOxaShape* VOxaSdkManager::NewShape() {
    return nullptr;
}
VOxaPose* VOxaSdkManager::NewPose(const char*, int) {
    return nullptr;
}
VOxaDeformer* VOxaSdkManager::NewDeformer(const char*, const char*) {
    return nullptr;
}
bool VOxaSdkManager::DestroyLink(VOxaLink*) {
    return NotFound();
}
bool VOxaSdkManager::DestroyShape(VOxaShape*) {
    return NotFound();
}
bool VOxaSdkManager::DestroyPose(VOxaPose*) {
    return NotFound();
}
bool VOxaSdkManager::DestroyDeformer(VOxaDeformer*) {
    return false;
}
VOxaPose* VOxaSdkManager::GetPose(const char*) {
    NotFound();
    return nullptr;
}
VOxaMesh* VOxaSdkManager::CreateMesh() {
    return nullptr;
}
VOxaOpticalReference* VOxaSdkManager::CreateOpticalReference() {
    return nullptr;
}
VOxaLink* VOxaSdkManager::CreateLink() {
    return nullptr;
}
VOxaShape* VOxaSdkManager::CreateShape() {
    return nullptr;
}
VOxaPose* VOxaSdkManager::CreatePose(const char*, int) {
    return nullptr;
}
VOxaDeformer* VOxaSdkManager::CreateDeformer(const char*, const char*) {
    return nullptr;
}
void VOxaSdkManager::CreateBindPoses(VOxaScene*) {}
void VOxaSdkManager::DestroyAllLinks() {}
void VOxaSdkManager::DestroyAllShapes() {}
void VOxaSdkManager::DestroyAllPoses() {}
