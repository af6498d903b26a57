// Drives the public scene API in an order decoded from the input: each byte picks an operation
// (create, destroy, attach, detach, re-parent, rename, copy, link, take, clear, convert, write,
// read, delete the manager, user properties, the camera switcher, scene and take information,
// control sets and character poses, global settings) and the following bytes pick its arguments
// among the objects the manager lists at that moment. A second manager's objects are offered to
// the first one's objects, and either manager may be deleted while the other lives on. A caller
// never keeps an object across a call that may destroy it: every argument is taken afresh from
// the manager's registries, so whatever the sanitizers find is the library's fault. The scenes
// stay small: each kind of object is capped and the number of operations is bounded.
//
// Callbacks and listeners put on the channels and curves of the objects make calls of every kind
// while they are told of a change, a destruction among them: destroy any object, clear a scene,
// remove or switch takes, copy, attach, look up, throw, or run any operation above (all but the
// deletion of a manager, which no callback may do).
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>

#include "animation/fcurve.h"
#include "animation/fcurve_node.h"
#include "attributes/voxa_camera.h"
#include "attributes/voxa_deformer.h"
#include "attributes/voxa_generic_node.h"
#include "attributes/voxa_geometry.h"
#include "attributes/voxa_geometry_converter.h"
#include "attributes/voxa_light.h"
#include "attributes/voxa_link.h"
#include "attributes/voxa_marker.h"
#include "attributes/voxa_material.h"
#include "attributes/voxa_mesh.h"
#include "attributes/voxa_null.h"
#include "attributes/voxa_nurb.h"
#include "attributes/voxa_patch.h"
#include "attributes/voxa_pose.h"
#include "attributes/voxa_shape.h"
#include "attributes/voxa_skeleton.h"
#include "attributes/voxa_texture.h"
#include "attributes/voxa_video.h"
#include "character/voxa_character.h"
#include "character/voxa_character_link.h"
#include "character/voxa_character_pose.h"
#include "character/voxa_constraint_aim.h"
#include "character/voxa_constraint_parent.h"
#include "character/voxa_constraint_position.h"
#include "character/voxa_constraint_single_chain_ik.h"
#include "character/voxa_control_set.h"
#include "character/voxa_control_set_plug.h"
#include "formats/motion/voxa_motion_export.h"
#include "fuzz/fuzz_input_file.h"
#include "objects/vobject_list.h"
#include "objects/voxa_user_property.h"
#include "objects/vproperty.h"
#include "oxa_codec/voxa_exporter.h"
#include "oxa_codec/voxa_importer.h"
#include "oxa_codec/voxa_io_formats.h"
#include "oxa_codec/vstream_options.h"
#include "scene/voxa_node.h"
#include "scene/voxa_node_attribute.h"
#include "scene/voxa_scene.h"
#include "scene/voxa_scene_contents.h"
#include "scene/voxa_scene_info.h"
#include "scene/voxa_sdk_manager.h"
#include "scene/voxa_take_info.h"
#include "scene/voxa_take_node.h"

namespace {

// Options are released with Destroy, as their owner must.
struct DestroyOptions {
    void operator()(VStreamOptions* options) const {
        if (options) options->Destroy();
    }
};
using OptionsPtr = std::unique_ptr<VStreamOptions, DestroyOptions>;

constexpr int kMaxOperations = 160;
constexpr int kMaxObjects = 24;  // of each kind
constexpr int kMaxScenes = 3;

// Few names, so that clashes are common.
const char* const kNames[] = {"a", "b", "Hips", "a::b", "", "Take 001", "Default"};
const char* const kWriteExtensions[] = {"obj", "3ds", "dxf", "bvh", "htr", "trc", "c3d",
                                        "asf", "aoa", "mcd", "brd", "mov", "vpm"};

class Driver {
public:
    Driver(const uint8_t* data, size_t size) : mData(data), mSize(size) {}
    ~Driver() { DeleteManagers(); }

    void Run() {
        NewManager();
        for (int step = 0; step < kMaxOperations && mPos < mSize; ++step)
            Step(Byte());
    }

private:
    uint8_t Byte() { return mPos < mSize ? mData[mPos++] : 0; }
    bool Flag() { return Byte() & 1; }
    const char* Name() { return kNames[Byte() % (sizeof kNames / sizeof kNames[0])]; }
    // An index below `count` (which must be positive).
    int Index(int count) { return Byte() % count; }

    // A manager is forgotten before it is deleted: the callbacks its destruction tells act on
    // what is left.
    void DeleteManagers() {
        VOxaSdkManager* manager = mManager;
        VOxaSdkManager* other = mOther;
        mManager = mOther = nullptr;
        delete manager;
        delete other;
    }
    void NewManager() {
        VOxaSdkManager* old = mManager;
        mManager = nullptr;
        delete old;
        mManager = VOxaSdkManager::Create();
        if (mManager) mManager->CreateScene();
    }

    VOxaScene* Scene() {
        int n = mManager->GetSceneCount();
        return n ? mManager->GetScene(Index(n)) : nullptr;
    }
    VOxaNode* Node() {
        int n = mManager->GetNodeCount();
        return n ? mManager->GetNode(Index(n)) : nullptr;
    }
    VOxaNodeAttribute* Attribute() {
        int n = mManager->GetNodeAttributeCount();
        return n ? mManager->GetNodeAttribute(Index(n)) : nullptr;
    }
    VOxaGeometry* Geometry() {
        VOxaNodeAttribute* attribute = Attribute();
        if (!attribute || !VOxaNodeAttribute::IsGeometryType(attribute->GetAttributeType())) return nullptr;
        return static_cast<VOxaGeometry*>(attribute);
    }
    VOxaMaterial* Material() {
        int n = mManager->GetMaterialCount();
        return n ? mManager->GetMaterial(Index(n)) : nullptr;
    }
    VOxaTexture* Texture() {
        int n = mManager->GetTextureCount();
        return n ? mManager->GetTexture(Index(n)) : nullptr;
    }
    VOxaVideo* Video() {
        int n = mManager->GetVideoCount();
        return n ? mManager->GetVideo(Index(n)) : nullptr;
    }
    VOxaLink* Link() {
        int n = mManager->GetLinkCount();
        return n ? mManager->GetLink(Index(n)) : nullptr;
    }
    VOxaPose* Pose() {
        int n = mManager->GetPoseCount();
        return n ? mManager->GetPose(Index(n)) : nullptr;
    }
    VOxaGenericNode* GenericNode() {
        int n = mManager->GetGenericNodeCount();
        return n ? mManager->GetGenericNode(Index(n)) : nullptr;
    }
    // A constraint, character or deformer the manager lists.
    VOxaObject* Listed() {
        const VObjectList& list = mManager->GetObjectList();
        int n = list.GetCount();
        if (!n) return nullptr;
        VPlug* entry = list.Get(Index(n));
        return entry && VObjectList::IsObject(entry) ? VObjectList::GetOwnerObject(entry) : nullptr;
    }
    VOxaDeformer* Deformer() {
        VOxaObject* object = Listed();
        return object && object->GetTypeCode() == 10 ? static_cast<VOxaDeformer*>(object) : nullptr;
    }

    void Step(uint8_t op) {
        if (!mManager) {
            NewManager();
            if (!mManager) return;
        }
        if (op >= 200) {
            MoreStep(op - 200);
            return;
        }
        switch (op % 40) {
            case 0:
                if (mManager->GetNodeCount() < kMaxObjects * 2) mManager->CreateNode(Name());
                break;
            case 1:
                if (mManager->GetSceneCount() < kMaxScenes) mManager->CreateScene();
                break;
            case 2:
                if (VOxaScene* scene = Scene()) mManager->DestroyScene(scene, Flag());
                break;
            case 3:
                if (VOxaNode* node = Node()) mManager->DestroyNode(node, Flag());
                break;
            case 4: {
                VOxaNode* parent = Node();
                VOxaNode* child = Node();
                if (parent && child) parent->AddChild(child);
                break;
            }
            case 5: {
                VOxaNode* parent = Node();
                if (parent && parent->GetChildCount() > 0)
                    parent->RemoveChild(parent->GetChild(Index(parent->GetChildCount())));
                break;
            }
            case 6: {
                VOxaScene* scene = Scene();
                VOxaNode* node = Node();
                if (scene && scene->GetRootNode() && node) scene->GetRootNode()->AddChild(node);
                break;
            }
            case 7:
                CreateAttribute();
                break;
            case 8: {
                VOxaNode* node = Node();
                VOxaNodeAttribute* attribute = Flag() ? Attribute() : nullptr;
                if (node) node->SetNodeAttribute(attribute);
                break;
            }
            case 9:
                if (VOxaNodeAttribute* attribute = Attribute()) mManager->DestroyNodeAttribute(attribute);
                break;
            case 10:
                if (mManager->GetMaterialCount() < kMaxObjects) mManager->CreateMaterial(Name());
                break;
            case 11:
                if (VOxaMaterial* material = Material()) mManager->DestroyMaterial(material);
                break;
            case 12:
                if (mManager->GetTextureCount() < kMaxObjects) mManager->CreateTexture(Name());
                break;
            case 13:
                if (VOxaTexture* texture = Texture()) mManager->DestroyTexture(texture);
                break;
            case 14: {
                VOxaGeometry* geometry = Geometry();
                int layer = Byte() % 2;
                if (!geometry) break;
                if (Flag()) {
                    if (VOxaMaterial* material = Material()) geometry->AddMaterial(material, layer);
                } else if (VOxaTexture* texture = Texture()) {
                    geometry->AddTexture(texture, layer);
                }
                break;
            }
            case 15:
                BuildMesh();
                break;
            case 16:
                LinkOperation();
                break;
            case 17:
                if (VOxaLink* link = Link()) mManager->DestroyLink(link);
                break;
            case 18: {
                VOxaGeometry* geometry = Geometry();
                if (!geometry) break;
                if (Flag()) {
                    geometry->ClearLinks();
                } else if (geometry->GetLinkCount() > 0) {
                    geometry->RemoveLink(Index(geometry->GetLinkCount()));
                }
                break;
            }
            case 19:
                ShapeOperation();
                break;
            case 20:
                PoseOperation();
                break;
            case 21: {
                VOxaScene* scene = Scene();
                const char* name = Name();
                if (!scene) break;
                switch (Byte() % 4) {
                    case 0:
                        scene->CreateTake(name);
                        break;
                    case 1:
                        scene->RemoveTake(name);
                        break;
                    case 2:
                        scene->SetCurrentTake(name);
                        break;
                    default: {
                        VStringList names;
                        scene->FillTakeNameArray(names);
                        break;
                    }
                }
                break;
            }
            case 22:
                if (VOxaScene* scene = Scene()) scene->Clear();
                break;
            case 23:
                if (VOxaNode* node = Node()) node->SetName(Name());
                break;
            case 24: {
                VOxaNode* to = Node();
                VOxaNode* from = Node();
                if (to && from) to->Copy(*from);
                break;
            }
            case 25:
                if (VOxaScene* scene = Scene()) mManager->CreateBindPoses(scene);
                break;
            case 26:
                Convert();
                break;
            case 27:
                DeformerOperation();
                break;
            case 28:
                ConstraintOperation();
                break;
            case 29:
                WriteAndRead();
                break;
            case 30:
                if (mCallbackDepth == 0 && Byte() % 4 == 0) {
                    VOxaSdkManager* old = mManager;
                    mManager = nullptr;
                    delete old;
                }
                break;
            case 31:
                GenericNodeOperation();
                break;
            case 32: {
                VOxaNode* node = Node();
                VOxaNode* target = Node();
                if (node && target) Flag() ? node->SetTarget(target) : node->SetTargetUp(target);
                break;
            }
            case 33:
                VideoOperation();
                break;
            case 34: {
                VOxaScene* scene = Scene();
                if (!scene) break;
                VOxaNode* root = scene->GetRootNode();
                if (root && root->GetChildCount() > 0) {
                    VOxaNode* child = root->GetChild(Index(root->GetChildCount()));
                    root->RemoveChild(child);
                    if (Flag()) mManager->DestroyNode(child, Flag());
                }
                break;
            }
            case 35: {
                VOxaNode* node = Node();
                if (!node) break;
                VOxaGeometryConverter converter(mManager);
                converter.TriangulateInPlace(node);
                break;
            }
            case 36: {
                // Copies one mesh into another (links and shapes are re-made).
                VOxaNodeAttribute* a = Attribute();
                VOxaNodeAttribute* b = Attribute();
                if (a && b && a != b && a->GetAttributeType() == VOxaNodeAttribute::eMesh &&
                    b->GetAttributeType() == VOxaNodeAttribute::eMesh)
                    *static_cast<VOxaMesh*>(a) = *static_cast<VOxaMesh*>(b);
                break;
            }
            case 37:
                Lookups();
                break;
            case 38:
                CharacterOperation();
                break;
            default:
                mManager->DestroyAllObjects();
                break;
        }
    }

    // The operations on the kinds of object the first forty leave out.
    void MoreStep(uint8_t op) {
        if (op == 50) {
            AnimateNode();
            return;
        }
        if (op == 51 || op == 52) {
            Listen();
            return;
        }
        if (op > 50) {
            CurveCallbacks();
            return;
        }
        switch (op % 10) {
            case 0:
                UserPropertyOperation();
                break;
            case 1:
                CameraSwitcherOperation();
                break;
            case 2:
                SceneInfoOperation();
                break;
            case 3:
                CharacterPoseOperation();
                break;
            case 4:
                TwoManagers();
                break;
            case 5:
                CrossLink();
                break;
            case 6:
                SurfaceOperation();
                break;
            case 7: {
                VOxaScene* scene = Scene();
                if (!scene) break;
                VOxaGlobalCameraSettings& cameras = scene->GetGlobalCameraSettings();
                if (Flag()) {
                    cameras.RestoreDefaultSettings();
                } else if (VOxaNode* node = cameras.GetProducerTopNode()) {
                    mManager->DestroyNode(node, Flag());
                }
                scene->GetGlobalLightSettings();
                scene->GetGlobalTimeSettings();
                break;
            }
            case 8:
                if (Byte() & 1) {
                    if (mManager->GetVideoCount() < kMaxObjects) mManager->CreateVideo(Name());
                } else if (VOxaScene* scene = Scene()) {
                    WriteAndReadTwice(scene);
                }
                break;
            default: {
                VOxaScene* scene = Scene();
                if (!scene) break;
                VOxaTakeInfo info;
                info.mName = Name();
                if (Flag() && mManager->GetThumbnailCount() < kMaxObjects)
                    info.SetTakeThumbnail(mManager->CreateThumbnail());
                scene->SetTakeInfo(info);
                if (VOxaTakeInfo* held = scene->GetTakeInfo(Name())) {
                    held->mComments = "c";
                    if (VOxaThumbnail* thumbnail = held->GetTakeThumbnail()) {
                        thumbnail->GetThumbnailImage();
                        if (Flag()) mManager->DestroyThumbnail(thumbnail);
                    }
                }
                break;
            }
        }
    }

    // Keys on a translation or rotation channel of a node's current take, or a default value, at
    // frames of a 30 frames per second take: the motion writers then have a take to write, with
    // values they cannot hold among them.
    void AnimateNode() {
        static const double kValues[] = {0.0, 5.0, -90.0, 1e29, 3.9e29, 1e30, -2e30, 1e300, NAN, INFINITY};
        VOxaNode* node = Node();
        VOxaTakeNode* take = node ? node->GetCurrentTakeNode() : nullptr;
        if (!take) return;
        const int channel = Byte() % 7;
        if (channel == 6) {
            const double value = kValues[Byte() % (sizeof kValues / sizeof kValues[0])];
            Flag() ? node->SetLclTranslation(VgeTVector(value, 1.0, 0.0, 1.0))
                   : node->SetLclRotation(VgeTVector(0.0, value, 0.0, 1.0));
            return;
        }
        VFCurve* curves[6] = {take->GetTranslationX(),   take->GetTranslationY(),
                              take->GetTranslationZ(),   take->GetEulerRotationX(),
                              take->GetEulerRotationY(), take->GetEulerRotationZ()};
        VFCurve* curve = curves[channel];
        if (!curve) return;
        for (int k = 1 + Byte() % 4; k > 0; --k) {
            VTime time;
            time.SetSecondDouble(((int)Byte() - 16) / 30.0);
            VFCurveKey key;
            key.Set(time, (float)kValues[Byte() % (sizeof kValues / sizeof kValues[0])],
                    VFCurveKey::eInterpolationLinear);
            curve->KeyAdd(time, key);
        }
    }

    // A curve node with its curve, callbacks and curve listeners that act on them while they are
    // called: remove themselves, free the callback record, destroy the node, add keys, replace the
    // curve, turn delivery off and on. What they do to the node goes through the state, which
    // forgets the node when it is destroyed; the depth bound keeps callbacks that answer every
    // change with a change from looping.
    struct CurvePlay {
        VFCurveNode* node = nullptr;
        int depth = 0;
        int actions = 0;
        void Kill() {
            VFCurveNode* doomed = node;
            node = nullptr;
            delete doomed;
        }
    };
    struct CurveActor {
        CurvePlay* play;
        uint8_t action;
        void Act(bool fromCurve) {
            CurvePlay& p = *play;
            if (!p.node || p.depth > 3 || ++p.actions > 64) return;
            ++p.depth;
            VFCurve* curve = p.node->FCurveGet();
            switch (action % 8) {
                case 0:
                    break;
                case 1:
                    if (fromCurve && curve)
                        curve->CallbackUnregister(&CurveActor::Listener, this);
                    else
                        p.node->CallbackRemove(&CurveActor::Callback, this);
                    break;
                case 2:
                    p.node->CallbackRemove(&CurveActor::Callback, this);
                    p.node->CallbackRemove(&CurveActor::Callback, this);
                    break;
                case 3:
                    p.Kill();
                    break;
                case 4:
                    if (curve) {
                        VTime time;
                        time.SetSecondDouble(p.actions);
                        curve->KeyAdd(time);
                    }
                    break;
                case 5:
                    p.node->FCurveSet(VFCurve::Create(), true);
                    break;
                case 6:
                    p.node->CallbackEnable(!p.node->IsCallbackEnabled());
                    break;
                default:
                    p.node->SetSelected(!p.node->GetSelected());
                    if (p.node && p.node->FCurveGet()) p.node->FCurveGet()->KeyClear();
                    break;
            }
            --p.depth;
        }
        static void Callback(VFCurveNode*, VFCurveNodeCallbacks*, void* object) {
            static_cast<CurveActor*>(object)->Act(false);
        }
        static void Listener(VFCurve*, VFCurveEvent*, void* object) {
            static_cast<CurveActor*>(object)->Act(true);
        }
    };

    void CurveCallbacks() {
        CurvePlay play;
        play.node = new VFCurveNode("N", "N", nullptr, 0, 0);
        play.node->FCurveSet(VFCurve::Create());
        CurveActor actors[4];
        const int count = 1 + Byte() % 4;
        for (int i = 0; i < count; ++i) {
            actors[i] = {&play, Byte()};
            if (Flag())
                play.node->CallbackAdd(&CurveActor::Callback, &actors[i]);
            else if (VFCurve* curve = play.node->FCurveGet())
                curve->CallbackRegister(&CurveActor::Listener, &actors[i]);
        }
        for (int step = Byte() % 6; step >= 0 && play.node; --step) {
            play.actions = 0;
            VFCurve* curve = play.node->FCurveGet();
            switch (Byte() % 6) {
                case 0:
                    play.node->SetSelected(Flag());
                    break;
                case 1:
                    if (curve) {
                        VTime time;
                        time.SetSecondDouble(step);
                        curve->KeyAdd(time);
                    }
                    break;
                case 2:
                    if (curve) curve->KeyClear();
                    break;
                case 3:
                    play.node->CallbackEnable(Flag());
                    break;
                case 4:
                    play.node->FCurveSet(VFCurve::Create(), true);
                    break;
                default:
                    play.Kill();
                    break;
            }
        }
        play.actions = 0;
        play.Kill();
    }

    // Puts a callback on a channel of an object's take and a listener on one of its curves; each
    // acts (CallbackAct) when told of anything, within bounds so that answering a change with a
    // change ends.
    void Listen() {
        VOxaTakeNodeContainer* object = nullptr;
        switch (Byte() % 3) {
            case 0:
                object = Node();
                break;
            case 1:
                object = Material();
                break;
            default:
                object = Texture();
                break;
        }
        const int takes = object ? object->GetTakeNodeCount() : 0;
        VOxaTakeNode* take = takes ? object->GetTakeNode(Index(takes)) : nullptr;
        VFCurveNode* channel = take ? take->GetVFCurveNode() : nullptr;
        for (int depth = Byte() % 4; channel && depth > 0 && channel->GetCount() > 0; --depth)
            channel = channel->Get(Index(channel->GetCount()));
        if (!channel) return;
        channel->CallbackAdd(&Driver::OnChannel, this);
        if (VFCurve* curve = channel->FCurveGet()) curve->CallbackRegister(&Driver::OnCurve, this);
    }
    static void OnChannel(VFCurveNode* node, VFCurveNodeCallbacks*, void* self) {
        static_cast<Driver*>(self)->CallbackAct(node);
    }
    static void OnCurve(VFCurve*, VFCurveEvent*, void* self) {
        static_cast<Driver*>(self)->CallbackAct(nullptr);
    }

    // One call made by a callback or listener, its arguments taken afresh from the manager.
    void CallbackAct(VFCurveNode* told) {
        if (!mManager || mCallbackDepth >= 3 || mCallbackActs >= 48 || mPos >= mSize) return;
        ++mCallbackActs;
        ++mCallbackDepth;
        struct Leave {
            int& depth;
            ~Leave() { --depth; }
        } leave{mCallbackDepth};
        switch (Byte() % 16) {
            case 0:
                mManager->DestroyNode(Node(), Flag());
                break;
            case 1:
                mManager->DestroyNodeAttribute(Attribute());
                break;
            case 2:
                mManager->DestroyScene(Scene(), Flag());
                break;
            case 3:
                Flag() ? mManager->DestroyMaterial(Material()) : mManager->DestroyTexture(Texture());
                break;
            case 4:
                if (VOxaScene* scene = Scene())
                    Flag() ? scene->RemoveTake(Name()) : scene->CreateTake(Name());
                break;
            case 5:
                if (VOxaScene* scene = Scene()) scene->SetCurrentTake(Name());
                break;
            case 6:
                if (VOxaScene* scene = Scene()) scene->Clear();
                break;
            case 7:
                if (VOxaNode* node = Node()) node->SetNodeAttribute(Flag() ? Attribute() : nullptr);
                break;
            case 8: {
                VOxaNode* node = Node();
                VOxaNode* other = Node();
                if (node && other) node->Copy(*other);
                break;
            }
            case 9: {
                // Getters of what may be going.
                mManager->GetUserProperty(Name());
                if (VOxaNode* node = Node()) {
                    node->GetName();
                    node->GetCurrentTakeNode();
                    VgeTVector t;
                    node->GetLclTranslation(t);
                    node->GetUserPropertyCount();
                }
                if (told) {
                    told->GetName();
                    told->GetCount();
                    told->FCurveGet();
                }
                break;
            }
            case 10:
                mManager->DestroyAllObjects();
                break;
            case 11:
                throw std::runtime_error("callback");
            case 12:
                if (VOxaObject* object = Listed()) mManager->DestroyObject(object);
                if (VOxaGenericNode* node = GenericNode()) mManager->DestroyGenericNode(node);
                break;
            case 13:
                if (VOxaPose* pose = Pose()) mManager->DestroyPose(pose);
                if (VOxaUserProperty* handle = ListedHandle(AnyObject()))
                    mManager->DestroyUserProperty(handle);
                break;
            case 14:
                if (told)
                    Flag() ? told->SetSelected(!told->GetSelected())
                           : (void)told->FCurveSet(VFCurve::Create(), true);
                break;
            default:
                Step(Byte());
                break;
        }
    }

    // A handle among those the objects list, or the manager's named one.
    VOxaUserProperty* ListedHandle(VOxaObject* object) {
        if (!object) return mManager->GetUserProperty(Name());
        int n = object->GetUserPropertyCount();
        return n ? object->GetUserProperty(Index(n)) : nullptr;
    }
    // A node, material, texture or listed object.
    VOxaObject* AnyObject() {
        switch (Byte() % 4) {
            case 0:
                return Node();
            case 1:
                return Material();
            case 2:
                return Texture();
            default:
                return Listed();
        }
    }

    void UserPropertyOperation() {
        switch (Byte() % 5) {
            case 0: {
                if (mManager->GetUserPropertyCount() > 4000) break;
                VOxaObject* object = AnyObject();
                VOxaUserProperty* handle = nullptr;
                if (Flag()) {
                    static const char* const kTypes[] = {"Real",    "Bool", "Vector", "Color",
                                                         "Integer", "Enum", "x"};
                    handle = mManager->CreateUserProperty(mManager, Name(), kTypes[Byte() % 7]);
                    if (handle && Flag()) handle->SetFlag(VOxaUserProperty::eAnimatable, true);
                } else if (VOxaUserProperty* listed = ListedHandle(AnyObject())) {
                    // A handle bound to another object's property, which may go first.
                    if (listed->GetProperty()) handle = mManager->CreateUserProperty(listed->GetProperty());
                }
                if (handle && object) object->AddUserProperty(handle);
                break;
            }
            case 1: {
                VOxaObject* object = AnyObject();
                if (VOxaUserProperty* handle = ListedHandle(object)) {
                    if (object) object->RemoveUserProperty(handle);
                }
                break;
            }
            case 2:
                if (VOxaUserProperty* handle = ListedHandle(AnyObject()))
                    mManager->DestroyUserProperty(handle);
                break;
            case 3: {
                // One handle offered to a second object.
                VOxaUserProperty* handle = ListedHandle(AnyObject());
                VOxaObject* object = AnyObject();
                if (handle && object) object->AddUserProperty(handle);
                break;
            }
            default:
                if (VOxaUserProperty* handle = ListedHandle(AnyObject())) {
                    double x, y, z;
                    handle->GetVector(x, y, z);
                    handle->SetVector(1, 2, 3);
                    handle->GetName();
                }
                break;
        }
    }

    void CameraSwitcherOperation() {
        VOxaScene* scene = Scene();
        if (!scene) return;
        switch (Byte() % 3) {
            case 0:
                scene->SetCameraSwitcher(Flag() ? Node() : nullptr);
                break;
            case 1: {
                VOxaNode* switcher = scene->GetCameraSwitcher();
                VOxaNode* node = Node();
                if (switcher && node) Flag() ? switcher->AddChild(node) : node->AddChild(switcher);
                break;
            }
            default:
                if (VOxaNode* switcher = scene->GetCameraSwitcher()) {
                    if (switcher->GetChildCount() > 0)
                        scene->SetCameraSwitcher(switcher->GetChild(Index(switcher->GetChildCount())));
                }
                break;
        }
    }

    void SceneInfoOperation() {
        VOxaScene* scene = Scene();
        if (!scene) return;
        switch (Byte() % 3) {
            case 0:
                if (mManager->GetSceneInfoCount() < kMaxObjects)
                    scene->SetSceneInfo(mManager->CreateSceneInfo());
                break;
            case 1:
                if (VOxaScene* other = Scene()) scene->SetSceneInfo(other->GetSceneInfo());
                break;
            default:
                if (VOxaSceneInfo* info = scene->GetSceneInfo()) mManager->DestroySceneInfo(info);
                break;
        }
    }

    void CharacterPoseOperation() {
        VOxaScene* scene = Scene();
        if (!scene) return;
        switch (Byte() % 5) {
            case 0:
                if (mManager->GetSceneCount() < kMaxScenes + 3) scene->CreateCharacterPose(Name());
                break;
            case 1:
                if (scene->GetCharacterPoseCount() > 0)
                    scene->DestroyCharacterPose(Index(scene->GetCharacterPoseCount()));
                break;
            case 2:
                if (scene->GetCharacterPoseCount() > 1) {
                    VOxaCharacterPose* a = scene->GetCharacterPose(Index(scene->GetCharacterPoseCount()));
                    VOxaCharacterPose* b = scene->GetCharacterPose(Index(scene->GetCharacterPoseCount()));
                    if (a->GetRootNode() && a->GetRootNode()->GetChildCount() < 8) *a = *b;
                }
                break;
            case 3:
                if (scene->GetControlSetPlugCount() < 4) scene->CreateControlSetPlug(Name());
                break;
            default:
                if (scene->GetControlSetPlugCount() > 0)
                    scene->DestroyControlSetPlug(Index(scene->GetControlSetPlugCount()));
                break;
        }
    }

    // Makes, swaps or deletes the second manager: the operations work on the current one.
    void TwoManagers() {
        if (mCallbackDepth > 0) return;
        switch (Byte() % 3) {
            case 0:
                if (!mOther) {
                    mOther = VOxaSdkManager::Create();
                    if (mOther) mOther->CreateScene();
                }
                break;
            case 1:
                if (mOther) std::swap(mManager, mOther);
                break;
            default: {
                VOxaSdkManager* old = mOther;
                mOther = nullptr;
                delete old;
                break;
            }
        }
    }

    // Offers objects of the second manager to the first one's.
    void CrossLink() {
        if (!mOther) return;
        VOxaSdkManager* own = mManager;
        mManager = mOther;
        VOxaNode* node = Node();
        VOxaNodeAttribute* attribute = Attribute();
        VOxaGeometry* geometry = Geometry();
        VOxaMaterial* material = Material();
        VOxaTexture* texture = Texture();
        VOxaLink* link = Link();
        VOxaPose* pose = Pose();
        VOxaGenericNode* generic = GenericNode();
        VOxaObject* listed = Listed();
        VOxaUserProperty* handle = ListedHandle(Flag() ? Node() : nullptr);
        VOxaScene* scene = Scene();
        VOxaVideo* video = Video();
        mManager = own;
        switch (Byte() % 16) {
            case 0:
                if (VOxaNode* mine = Node()) {
                    if (node) Flag() ? mine->AddChild(node) : node->AddChild(mine);
                }
                break;
            case 1:
                if (VOxaNode* mine = Node()) mine->SetNodeAttribute(attribute);
                break;
            case 2:
                if (VOxaGeometry* mine = Geometry()) {
                    if (material) mine->AddMaterial(material, 0);
                    if (texture) mine->AddTexture(texture, 0);
                }
                if (geometry) {
                    if (VOxaMaterial* mine = Material()) geometry->AddMaterial(mine, 0);
                }
                break;
            case 3:
                if (VOxaGeometry* mine = Geometry()) {
                    if (link) mine->AddLink(link);
                }
                if (link) link->SetLink(Node());
                if (VOxaLink* mine = Link()) mine->SetAssociateModel(node);
                break;
            case 4:
                if (VOxaScene* mine = Scene()) {
                    if (pose) mine->AddPose(pose);
                    if (generic) mine->AddGenericNode(generic);
                    if (listed) Flag() ? mine->AddDeformer(listed) : mine->AddConstraint(listed);
                }
                break;
            case 5:
                if (VOxaScene* mine = Scene()) {
                    mine->SetCameraSwitcher(node);
                    if (scene) mine->SetSceneInfo(scene->GetSceneInfo());
                }
                break;
            case 6:
                if (VOxaObject* mine = AnyObject()) mine->AddUserProperty(handle);
                break;
            case 7:
                if (VOxaScene* mine = Scene()) {
                    if (texture) mine->AttachVideo(texture, "v.png", nullptr, Name(), "clip");
                }
                break;
            case 8:
                if (node) {
                    if (VOxaNode* mine = Node()) Flag() ? mine->SetTarget(node) : mine->SetTargetUp(node);
                }
                break;
            case 9:
                if (VOxaGeometry* mine = Geometry()) {
                    if (mine->GetShapeCount() < 4 && geometry && geometry->GetShapeCount() > 0)
                        mine->AddShape(geometry->GetShape(0), Name());
                }
                break;
            case 10: {
                VOxaObject* object = Listed();
                if (!object || object->GetTypeCode() != 13 || !node) break;
                auto* constraint = static_cast<VOxaConstraint*>(object);
                if (constraint->GetConstraintType() != VOxaConstraint::ePosition) break;
                auto* position = static_cast<VOxaConstraintPosition*>(constraint);
                Flag() ? position->AddSource(node, 50.0) : position->SetConstrainedObject(node);
                break;
            }
            case 12: {
                // Every kind of constraint offered the other manager's node in each of its slots.
                VOxaObject* object = Listed();
                if (!object || object->GetTypeCode() != 13 || !node) break;
                auto* constraint = static_cast<VOxaConstraint*>(object);
                const int slot = Byte() % 4;
                switch (constraint->GetConstraintType()) {
                    case VOxaConstraint::ePosition:
                    case VOxaConstraint::eRotation:
                    case VOxaConstraint::eScale:
                        static_cast<VOxaConstraintOffsetFamily*>(constraint)->AddSource(node, 20.0);
                        break;
                    case VOxaConstraint::eParent:
                        static_cast<VOxaConstraintParent*>(constraint)->AddSource(node, 20.0);
                        break;
                    case VOxaConstraint::eAim: {
                        auto* aim = static_cast<VOxaConstraintAim*>(constraint);
                        slot & 1 ? aim->AddAimAtObject(node, 20.0) : aim->SetWorldUpObject(node);
                        break;
                    }
                    case VOxaConstraint::eSingleChainIK: {
                        auto* ik = static_cast<VOxaConstraintSingleChainIK*>(constraint);
                        if (slot == 0) ik->SetFirstJoint(node);
                        if (slot == 1) ik->SetEndJoint(node);
                        if (slot == 2) ik->SetEffector(node);
                        if (slot == 3) ik->AddPoleVectorObject(node, 20.0);
                        break;
                    }
                    default:
                        break;
                }
                if (scene && Flag()) constraint->SetSceneContents(scene->GetContents());
                break;
            }
            case 13:
                // A character's control set and input.
                if (VOxaScene* mine = Scene()) {
                    if (mine->GetCharacterCount() == 0) break;
                    VOxaCharacter* character = mine->GetCharacter(Index(mine->GetCharacterCount()));
                    VOxaControlSet* set = character->GetControlSet();
                    switch (Byte() % 4) {
                        case 0: {
                            VOxaControlSetLink setLink;
                            setLink.mNode = node;
                            set->SetControlSetLink(Byte() % 4, setLink);
                            break;
                        }
                        case 1:
                            set->SetEffector(Byte() % 4, node, true, Flag(), Flag(), false, false);
                            break;
                        case 2:
                            set->SetEffectorAux(Byte() % 4, node, 1 + Byte() % 2);
                            break;
                        default:
                            if (listed) character->SetInput(Byte() % 3, listed);
                            break;
                    }
                }
                break;
            case 14:
                // An attribute told the other manager's node, a camera the other manager's video.
                if (VOxaNodeAttribute* mine = Attribute()) {
                    if (node && Flag()) mine->SetNode(node);
                    if (video && mine->GetAttributeType() == VOxaNodeAttribute::eCamera)
                        static_cast<VOxaCamera*>(mine)->ConnectBackgroundVideo(video);
                }
                break;
            case 15:
                // This manager's generic nodes and deformers offered the other's contents.
                if (scene) {
                    if (VOxaGenericNode* mine = GenericNode()) mine->SetSceneContents(scene->GetContents());
                    if (VOxaDeformer* mine = Deformer()) mine->SetSceneContents(scene->GetContents());
                }
                break;
            default:
                if (VOxaScene* mine = Scene()) {
                    if (mine->GetCharacterCount() == 0 || !node) break;
                    VOxaCharacterLink characterLink;
                    characterLink.mNode = node;
                    mine->GetCharacter(0)->SetCharacterLink(Byte() % 4, characterLink);
                }
                break;
        }
    }

    void SurfaceOperation() {
        VOxaNodeAttribute* attribute = Attribute();
        if (!attribute) return;
        if (attribute->GetAttributeType() == VOxaNodeAttribute::eNurb) {
            auto* nurb = static_cast<VOxaNurb*>(attribute);
            const int u = 4 + Byte() % 3, v = 4 + Byte() % 3;
            nurb->InitControlPoints(u, ePERIODIC, v, eOPEN);
            nurb->SetOrder(1 + Byte() % 4, 1 + Byte() % 4);
            nurb->SetStep(Byte() % 4, Byte() % 4);
        } else if (attribute->GetAttributeType() == VOxaNodeAttribute::ePatch) {
            auto* patch = static_cast<VOxaPatch*>(attribute);
            patch->InitControlPoints(4 + Byte() % 3, eBEZIER, 4 + Byte() % 3, eLINEAR);
            patch->SetStep(Byte() % 4, Byte() % 4);
        } else if (VOxaGeometry* geometry = Geometry()) {
            geometry->ClearLinks();
        }
    }

    // Writes the scene and reads the file into it twice.
    void WriteAndReadTwice(VOxaScene* scene) {
        // Each call reads the scene back into itself twice: repeated, it would triple the scene
        // every time.
        if (mManager->GetNodeCount() > kMaxObjects * 8) return;
        const char* extension =
            kWriteExtensions[Byte() % (sizeof kWriteExtensions / sizeof kWriteExtensions[0])];
        const std::string path = FuzzScratchPath(std::string("api2.") + extension);
        VOxaExporter* exporter = mManager->CreateExporter();
        bool written = false;
        if (exporter) {
            if (exporter->Initialize(path.c_str()) &&
                exporter->SetFileFormat(VOxaFindWriterFormat(extension))) {
                OptionsPtr options(exporter->GetWriteOptions());
                written = exporter->Export(scene, options.get());
            }
            mManager->DestroyExporter(exporter);
        }
        for (int round = 0; written && round < 2; ++round) {
            VOxaImporter* importer = mManager->CreateImporter();
            if (!importer) break;
            if (importer->Initialize(path.c_str())) {
                OptionsPtr options(importer->GetReadOptions());
                importer->Import(scene, options.get());
            }
            mManager->DestroyImporter(importer);
        }
        std::remove(path.c_str());
        std::remove(FuzzScratchPath("api2.mtl").c_str());
    }

    void CreateAttribute() {
        if (mManager->GetNodeAttributeCount() >= kMaxObjects * 2) return;
        VOxaNodeAttribute* attribute = nullptr;
        switch (Byte() % 9) {
            case 0:
                attribute = mManager->CreateMesh();
                break;
            case 1:
                attribute = mManager->CreateSkeleton();
                break;
            case 2:
                attribute = mManager->CreateCamera();
                break;
            case 3:
                attribute = mManager->CreateLight();
                break;
            case 4:
                attribute = mManager->CreateMarker();
                break;
            case 5:
                attribute = mManager->CreateNull();
                break;
            case 6:
                attribute = mManager->CreateNurb();
                break;
            case 7:
                attribute = mManager->CreatePatch();
                break;
            default:
                attribute = mManager->CreateOpticalReference();
                break;
        }
        if (attribute && Flag()) {
            if (VOxaNode* node = Node()) node->SetNodeAttribute(attribute);
        }
    }

    void BuildMesh() {
        VOxaNodeAttribute* attribute = Attribute();
        if (!attribute || attribute->GetAttributeType() != VOxaNodeAttribute::eMesh) return;
        VOxaMesh* mesh = static_cast<VOxaMesh*>(attribute);
        const int points = 3 + Byte() % 3;
        mesh->InitControlPoints(points);
        VgeTVector* p = mesh->GetControlPoints();
        for (int i = 0; i < points; ++i)
            p[i] = VgeTVector(i & 1, (i >> 1) & 1, i * 0.5, 1.0);
        const int polygons = 1 + Byte() % 3;
        for (int k = 0; k < polygons; ++k) {
            mesh->BeginPolygon(Byte() % 3 - 1, Byte() % 3 - 1);
            for (int i = 0; i < points; ++i)
                mesh->AddPolygonVertex((i + k) % points);
            mesh->EndPolygon();
        }
        if (Flag()) mesh->InitMaterialIndices(Byte() % 5);
        if (Flag()) mesh->InitTextureIndices(Byte() % 5);
    }

    void LinkOperation() {
        if (mManager->GetLinkCount() >= kMaxObjects) return;
        VOxaLink* link = Flag() ? mManager->CreateLink() : Link();
        if (!link) return;
        if (VOxaNode* node = Node()) link->SetLink(node);
        if (Flag()) link->SetAssociateModel(Node());
        link->AddControlPointIndex(Byte() % 4, 0.5);
        if (VOxaGeometry* geometry = Geometry()) geometry->AddLink(link);
    }

    void ShapeOperation() {
        VOxaGeometry* geometry = Geometry();
        if (!geometry) return;
        switch (Byte() % 3) {
            case 0: {
                if (geometry->GetShapeCount() >= 4) return;
                VOxaShape* shape = mManager->CreateShape();
                if (!shape) return;
                shape->InitControlPoints(geometry->GetControlPointsCount());
                if (Flag()) {
                    if (VOxaMaterial* material = Material()) shape->AddMaterial(material, 0);
                }
                if (geometry->AddShape(shape, Name()) < 0) mManager->DestroyShape(shape);
                break;
            }
            case 1:
                if (geometry->GetShapeCount() > 0)
                    mManager->DestroyShape(geometry->GetShape(Index(geometry->GetShapeCount())));
                break;
            default:
                geometry->ClearShapes();
                break;
        }
    }

    void PoseOperation() {
        switch (Byte() % 4) {
            case 0:
                if (mManager->GetPoseCount() < kMaxObjects) {
                    VOxaPose* pose = mManager->CreatePose(Name(), Byte() & 1);
                    if (VOxaScene* scene = Scene()) scene->AddPose(pose);
                }
                break;
            case 1:
                if (VOxaPose* pose = Pose()) {
                    VOxaNode* node = Node();
                    pose->Add(node ? node->GetNameWithoutPrefix() : "x", VMatrix(), Flag());
                }
                break;
            case 2:
                if (VOxaPose* pose = Pose()) mManager->DestroyPose(pose);
                break;
            default:
                if (VOxaScene* scene = Scene()) {
                    if (scene->GetPoseCount() > 0) scene->RemovePose(Index(scene->GetPoseCount()));
                }
                break;
        }
    }

    void Convert() {
        VOxaScene* scene = Scene();
        if (!scene) return;
        switch (Byte() % 7) {
            case 0:
                scene->ConvertLinksToDeformers();
                break;
            case 1:
                scene->ConvertDeformersToLinks();
                break;
            case 2:
                scene->ConnectLayerMaterials();
                break;
            case 3:
                scene->ConnectLayerTextures();
                break;
            case 4:
                scene->CreateVideos();
                break;
            case 5:
                scene->FillLayerMaterials();
                scene->FillLayerTextures();
                break;
            default:
                scene->DestroyAllDeformers();
                break;
        }
    }

    void DeformerOperation() {
        switch (Byte() % 3) {
            case 0:
                if (mManager->GetObjectList().GetCount() < kMaxObjects) {
                    VOxaDeformer* deformer = mManager->CreateDeformer(Name(), Flag() ? "Cluster" : "Skin");
                    VOxaScene* scene = Scene();
                    if (deformer && scene) scene->AddDeformer(deformer);
                }
                break;
            case 1:
                if (VOxaDeformer* deformer = Deformer()) {
                    deformer->CopyFromLink(Link());
                    if (VOxaScene* scene = Scene())
                        Flag() ? scene->AddDeformer(deformer) : scene->RemoveDeformer(deformer);
                }
                break;
            default:
                if (VOxaObject* object = Listed()) mManager->DestroyObject(object);
                break;
        }
    }

    void ConstraintOperation() {
        if (Flag()) {
            if (mManager->GetObjectList().GetCount() >= kMaxObjects) return;
            VOxaConstraint* constraint = mManager->CreateConstraint(Name(), 1 + Byte() % 6);
            VOxaScene* scene = Scene();
            if (constraint && scene) scene->AddConstraint(constraint);
            return;
        }
        VOxaObject* object = Listed();
        if (!object || object->GetTypeCode() != 13) return;
        VOxaConstraint* constraint = static_cast<VOxaConstraint*>(object);
        if (constraint->GetConstraintType() != VOxaConstraint::ePosition) return;
        auto* position = static_cast<VOxaConstraintPosition*>(constraint);
        VOxaNode* node = Node();
        if (!node) return;
        Flag() ? position->AddSource(node, 50.0) : position->SetConstrainedObject(node);
    }

    void CharacterOperation() {
        VOxaScene* scene = Scene();
        if (!scene) return;
        switch (Byte() % 3) {
            case 0:
                if (mManager->GetObjectList().GetCount() < kMaxObjects) scene->CreateCharacter(Name());
                break;
            case 1: {
                if (scene->GetCharacterCount() == 0) break;
                VOxaCharacter* character = scene->GetCharacter(Index(scene->GetCharacterCount()));
                VOxaCharacterLink link;
                link.mNode = Node();
                character->SetCharacterLink(Byte() % 4, link);
                break;
            }
            default:
                if (scene->GetCharacterCount() > 0)
                    scene->DestroyCharacter(Index(scene->GetCharacterCount()));
                break;
        }
    }

    void GenericNodeOperation() {
        switch (Byte() % 3) {
            case 0:
                if (mManager->GetGenericNodeCount() < kMaxObjects) {
                    VOxaGenericNode* node = mManager->CreateGenericNode(Name());
                    if (VOxaScene* scene = Scene()) scene->AddGenericNode(node);
                }
                break;
            case 1:
                if (VOxaGenericNode* node = GenericNode()) {
                    if (VOxaScene* scene = Scene()) scene->RemoveGenericNode(node);
                }
                break;
            default:
                if (VOxaGenericNode* node = GenericNode()) mManager->DestroyGenericNode(node);
                break;
        }
    }

    void VideoOperation() {
        switch (Byte() % 3) {
            case 0:
                if (mManager->GetVideoCount() < kMaxObjects) {
                    VOxaScene* scene = Scene();
                    VOxaTexture* texture = Texture();
                    if (scene && texture) scene->AttachVideo(texture, "v.png", nullptr, Name(), "clip");
                }
                break;
            case 1:
                if (VOxaVideo* video = Video()) mManager->DestroyVideo(video);
                break;
            default:
                if (VOxaTexture* texture = Texture()) texture->SetFileName(Flag() ? "a.png" : "b/c.tif");
                break;
        }
    }

    void Lookups() {
        mManager->GetNode(Name(), Byte() % 2);
        mManager->GetMaterial(Name(), 0);
        mManager->GetTexture(Name(), 0);
        VOxaScene* scene = Scene();
        if (!scene) return;
        VOxaSceneContents* contents = scene->GetContents();
        contents->GetMaterialByName(Name());
        contents->GetTextureByName(Name());
        VArrayTemplate<VOxaMaterial*> materials;
        scene->FillMaterialArray(materials);
        for (int i = 0; i < materials.GetCount(); ++i)
            if (materials[i]) materials[i]->GetName();
        VArrayTemplate<VOxaTexture*> textures;
        scene->FillTextureArray(textures);
        for (int i = 0; i < textures.GetCount(); ++i)
            if (textures[i]) textures[i]->GetName();
        for (int i = 0; i < contents->GetNodeCount(); ++i)
            contents->GetNode(i)->GetName();
        VArrayTemplate<VOxaNode*> nodes;
        contents->FillNodeArrayByAttributeType(nodes, VOxaNodeAttribute::eMesh, Flag());
        for (int i = 0; i < mManager->GetLinkCount(); ++i) {
            if (VOxaNode* node = mManager->GetLink(i)->GetLink()) node->GetName();
            mManager->GetLink(i)->GetAssociateModelName();
        }
        for (int i = 0; i < mManager->GetNodeAttributeCount(); ++i) {
            VOxaNodeAttribute* attribute = mManager->GetNodeAttribute(i);
            if (!VOxaNodeAttribute::IsGeometryType(attribute->GetAttributeType())) continue;
            auto* geometry = static_cast<VOxaGeometry*>(attribute);
            for (int l = 0; l < geometry->GetLayerCount(); ++l) {
                for (int m = 0; m < geometry->GetMaterialCount(l); ++m)
                    if (VOxaMaterial* material = geometry->GetMaterial(m, l)) material->GetName();
                for (int t = 0; t < geometry->GetTextureCount(l); ++t)
                    if (VOxaTexture* texture = geometry->GetTexture(t, l)) texture->GetName();
            }
            for (int k = 0; k < geometry->GetLinkCount(); ++k)
                geometry->GetLink(k)->GetLinkName();
            for (int k = 0; k < geometry->GetShapeCount(); ++k)
                geometry->GetShape(k)->GetControlPointsCount();
        }
    }

    // True when a motion file reads with its reader's own options.
    static bool ReadsBack(const std::string& path) {
        VOxaSdkManager* manager = VOxaSdkManager::Create();
        VOxaImporter* importer = manager ? manager->CreateImporter() : nullptr;
        bool read = importer && importer->Initialize(path.c_str());
        if (read) {
            OptionsPtr options(importer->GetReadOptions());
            read = importer->Import(manager->CreateScene(), options.get());
        }
        delete manager;
        return read;
    }

    void WriteAndRead() {
        VOxaScene* scene = Scene();
        if (!scene) return;
        const char* extension =
            kWriteExtensions[Byte() % (sizeof kWriteExtensions / sizeof kWriteExtensions[0])];
        const std::string path = FuzzScratchPath(std::string("api.") + extension);
        const int format = VOxaFindWriterFormat(extension);
        const bool motion = VOxaGetMotionWriterKind(format) != VOxaMotionWriterKind::eNone;
        VOxaExporter* exporter = mManager->CreateExporter();
        bool written = false;
        if (exporter) {
            if (exporter->Initialize(path.c_str()) && exporter->SetFileFormat(format)) {
                OptionsPtr options(exporter->GetWriteOptions());
                // A motion writer as a program drives it: the nodes marked and the take's frames
                // set, a few at most so that a far key costs no long write.
                if (motion && options && Flag()) {
                    auto* frames = static_cast<VStreamOptionsMotion*>(options.get());
                    if (VOxaPrepareMotionExport(scene, format, frames, nullptr) &&
                        frames->GetFrameCount() > 8)
                        frames->SetFrameCount(8);
                }
                written = exporter->Export(scene, options.get());
            }
            mManager->DestroyExporter(exporter);
        }
        // A motion file written is one its reader reads: what the format cannot hold (names that
        // repeat, counts and numbers beyond the readers' bounds) is mended or refused by the writer.
        if (written && motion && !ReadsBack(path)) __builtin_trap();
        if (written && Flag()) {
            VOxaScene* into = Scene();
            VOxaImporter* importer = mManager->CreateImporter();
            if (importer && into && importer->Initialize(path.c_str())) {
                OptionsPtr options(importer->GetReadOptions());
                importer->Import(into, options.get());
            }
            if (importer) mManager->DestroyImporter(importer);
        }
        std::remove(path.c_str());
        std::remove(FuzzScratchPath("api.mtl").c_str());
    }

    const uint8_t* mData;
    size_t mSize;
    size_t mPos = 0;
    VOxaSdkManager* mManager = nullptr;
    VOxaSdkManager* mOther = nullptr;
    int mCallbackDepth = 0;
    int mCallbackActs = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Driver driver(data, size);
    driver.Run();
    return 0;
}
