// One manager and one scene serve every input of a fuzz target: making a scene (root, camera
// switcher, producer cameras) and tearing it down costs far more than reading most inputs.
// Reset() after each input brings both back to what they were when made, so no input sees what
// an earlier one left: the scene is cleared, and every object made since (nodes, attributes,
// materials and the rest, including those a failed read left unattached) is destroyed. Should
// any count still differ from the fresh state, manager and scene are made anew.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

#include "attributes/voxa_camera.h"
#include "scene/voxa_global_camera_settings.h"
#include "scene/voxa_node.h"
#include "scene/voxa_scene.h"
#include "scene/voxa_sdk_manager.h"

class VFuzzScene {
public:
    // The process's instance, made on first use.
    static VFuzzScene& Get() {
        if (!sInstance) sInstance = new VFuzzScene();
        return *sInstance;
    }

    // Frees the process's instance with its manager and everything in it; a later Get makes a new
    // one. The fuzz targets keep theirs to the end of the process; a test program frees it before
    // it exits, so that a leak checker finds nothing left.
    static void Release() {
        delete sInstance;
        sInstance = nullptr;
    }

    ~VFuzzScene() { delete mManager; }
    VFuzzScene(const VFuzzScene&) = delete;
    VFuzzScene& operator=(const VFuzzScene&) = delete;

    VOxaSdkManager* GetManager() const { return mManager; }
    VOxaScene* GetScene() const { return mScene; }

    void Reset() {
        RestoreProducerBackgrounds();
        mScene->Clear();
        DestroyNewNodes();
        VOxaSdkManager* m = mManager;
        DestroyNew(
            mFresh[kAttributes], [m] { return m->GetNodeAttributeCount(); },
            [m](int i) { m->DestroyNodeAttribute(m->GetNodeAttribute(i)); });
        DestroyNew(
            mFresh[kMaterials], [m] { return m->GetMaterialCount(); },
            [m](int i) { m->DestroyMaterial(m->GetMaterial(i)); });
        DestroyNew(
            mFresh[kTextures], [m] { return m->GetTextureCount(); },
            [m](int i) { m->DestroyTexture(m->GetTexture(i)); });
        DestroyNew(
            mFresh[kVideos], [m] { return m->GetVideoCount(); },
            [m](int i) { m->DestroyVideo(m->GetVideo(i)); });
        DestroyNew(
            mFresh[kGenericNodes], [m] { return m->GetGenericNodeCount(); },
            [m](int i) { m->DestroyGenericNode(m->GetGenericNode(i)); });
        DestroyNew(
            mFresh[kPoses], [m] { return m->GetPoseCount(); }, [m](int i) { m->DestroyPose(m->GetPose(i)); });
        DestroyNew(
            mFresh[kLinks], [m] { return m->GetLinkCount(); }, [m](int i) { m->DestroyLink(m->GetLink(i)); });
        if (Counts() != mFresh) Rebuild();
    }

    // How often Reset had to make manager and scene anew (for checks).
    int GetRebuildCount() const { return mRebuilds; }

private:
    enum {
        kScenes,
        kNodes,
        kAttributes,
        kMaterials,
        kTextures,
        kVideos,
        kGenericNodes,
        kPoses,
        kLinks,
        kUserProperties,
        kThumbnails,
        kSceneInfos,
        kConstraints,
        kKinds
    };
    using CountArray = std::array<int, kKinds>;

    VFuzzScene() { Make(); }

    void Make() {
        mManager = VOxaSdkManager::Create();
        mScene = mManager->CreateScene();
        mFresh = Counts();
        for (int i = 0; i < kProducers; ++i) {
            mFreshBackgrounds[i] = Producer(i)->GetDefaultBackgroundColor();
            mBackgroundStamps[i] = 0;
        }
        mFreshNodes.clear();
        for (int i = 0; i < mManager->GetNodeCount(); ++i)
            mFreshNodes.push_back(mManager->GetNode(i));
    }

    // The scene's camera i of the seven producer cameras.
    VOxaCamera* Producer(int i) const {
        const VOxaGlobalCameraSettings& cameras = mScene->GetGlobalCameraSettings();
        VOxaCamera* const producers[kProducers] = {
            cameras.GetProducerPerspectiveCamera(), cameras.GetProducerTopCamera(),
            cameras.GetProducerBottomCamera(),      cameras.GetProducerFrontCamera(),
            cameras.GetProducerBackCamera(),        cameras.GetProducerRightCamera(),
            cameras.GetProducerLeftCamera()};
        return producers[i];
    }

    // A 3DS read sets the background colour of the producer cameras, and the scene's Clear
    // restores their property but leaves the default take's colour curves, which that colour is
    // read from: they are set back here, before the Clear, so that its own restore sees them
    // as they were. A camera whose properties were not written since the last look (a change of
    // those curves writes the property too) is not read again.
    void RestoreProducerBackgrounds() {
        for (int i = 0; i < kProducers; ++i) {
            VOxaCamera* camera = Producer(i);
            const VObject* properties = camera->GetProperties();
            if (properties && properties->GetValueStamp() == mBackgroundStamps[i]) continue;
            const VOxaColor now = camera->GetDefaultBackgroundColor();
            const VOxaColor& fresh = mFreshBackgrounds[i];
            if (now.mRed != fresh.mRed || now.mGreen != fresh.mGreen || now.mBlue != fresh.mBlue)
                camera->SetDefaultBackgroundColor(fresh);
            if (properties) mBackgroundStamps[i] = properties->GetValueStamp();
        }
    }

    bool IsFresh(const VOxaNode* node) const {
        return std::find(mFreshNodes.begin(), mFreshNodes.end(), node) != mFreshNodes.end();
    }

    void Rebuild() {
        delete mManager;
        Make();
        ++mRebuilds;
    }

    CountArray Counts() const {
        const VOxaSdkManager* m = mManager;
        return {m->GetSceneCount(),        m->GetNodeCount(),      m->GetNodeAttributeCount(),
                m->GetMaterialCount(),     m->GetTextureCount(),   m->GetVideoCount(),
                m->GetGenericNodeCount(),  m->GetPoseCount(),      m->GetLinkCount(),
                m->GetUserPropertyCount(), m->GetThumbnailCount(), m->GetSceneInfoCount(),
                m->GetConstraintCount()};
    }

    // The registries keep creation order and the fresh objects are never destroyed, so whatever
    // stands after the first `fresh` entries was made since.
    template <class Count, class Destroy>
    static void DestroyNew(int fresh, Count count, Destroy destroy) {
        for (int n = count(); n > fresh; n = count()) {
            destroy(n - 1);
            if (count() >= n) return;  // could not be destroyed: Reset rebuilds
        }
    }

    // A new node goes with its subtree, from its topmost new ancestor, detached from a fresh
    // parent first.
    void DestroyNewNodes() {
        const int fresh = mFresh[kNodes];
        for (int n = mManager->GetNodeCount(); n > fresh; n = mManager->GetNodeCount()) {
            VOxaNode* node = mManager->GetNode(n - 1);
            while (VOxaNode* parent = node->GetParent()) {
                if (IsFresh(parent)) {
                    parent->RemoveChild(node);
                    break;
                }
                node = parent;
            }
            mManager->DestroyNode(node, true);
            if (mManager->GetNodeCount() >= n) return;
        }
    }

    inline static VFuzzScene* sInstance = nullptr;
    VOxaSdkManager* mManager = nullptr;
    VOxaScene* mScene = nullptr;
    CountArray mFresh{};
    std::vector<VOxaNode*> mFreshNodes;
    static constexpr int kProducers = VOxaGlobalCameraSettings::eProducerCount;
    VOxaColor mFreshBackgrounds[kProducers];
    uint64_t mBackgroundStamps[kProducers] = {};
    int mRebuilds = 0;
};

// Resets the process's scene when it goes out of scope, whichever way an input's run ends.
class VFuzzSceneScope {
public:
    VFuzzSceneScope() : mWorld(VFuzzScene::Get()) {}
    ~VFuzzSceneScope() { mWorld.Reset(); }
    VFuzzSceneScope(const VFuzzSceneScope&) = delete;
    VFuzzSceneScope& operator=(const VFuzzSceneScope&) = delete;

    VOxaSdkManager* GetManager() const { return mWorld.GetManager(); }
    VOxaScene* GetScene() const { return mWorld.GetScene(); }

private:
    VFuzzScene& mWorld;
};
