#include "attributes/voxa_geometry_converter.h"

#include <algorithm>
#include <climits>
#include <new>
#include <vector>

#include "animation/fcurve.h"
#include "attributes/voxa_face_flags.h"
#include "attributes/voxa_layer.h"
#include "attributes/voxa_link.h"
#include "attributes/voxa_mesh.h"
#include "attributes/voxa_nurb.h"
#include "attributes/voxa_patch.h"
#include "attributes/voxa_shape.h"
#include "attributes/voxa_surface_evaluator.h"
#include "attributes/voxa_weight_table.h"
#include "base/vallocation_hook.h"
#include "base/vdelivery_internal.h"
#include "base/vge_polygon.h"
#include "scene/voxa_node.h"
#include "scene/voxa_sdk_manager.h"
#include "scene/voxa_take_node.h"

namespace {

// The control points a surface must hold: u count x v count, or -1 when a count is negative.
long long GridSize(int uCount, int vCount) {
    if (uCount < 0 || vCount < 0) return -1;
    return (long long)uCount * vCount;
}

// True when the surface and every shape hold at least `points` control points.
bool HoldsPoints(VOxaGeometry* surface, long long points) {
    if (points < 0 || surface->GetControlPointsCount() < points) return false;
    for (int k = 0, n = surface->GetShapeCount(); k < n; ++k) {
        VOxaShape* shape = surface->GetShape(k);
        if (shape && shape->GetControlPointsCount() < points) return false;
    }
    return true;
}

// The six layer elements in the order the triangulation walks them.
VOxaLayerElement* ElementOf(VOxaLayer* layer, int which) {
    switch (which) {
        case 0:
            return layer->GetNormals();
        case 1:
            return layer->GetVertexColors();
        case 2:
            return layer->GetUVs();
        case 3:
            return layer->GetMaterials();
        case 4:
            return layer->GetTextures();
        default:
            return layer->GetPolygonGroups();
    }
}

// Cells along one direction of a vertex grid: one per pair of neighbours, one more to close.
long long CellCount(int vertices, bool closed) {
    if (vertices <= 0) return 0;
    return vertices - 1 + (closed ? 1 : 0);
}

// A grid is refused when its vertices or its polygon-vertex indices leave the int range.
bool GridFits(long long u, long long v, bool uClosed, bool vClosed) {
    if (u <= 0 || v <= 0 || u * v > INT_MAX) return false;
    long long cells = CellCount((int)u, uClosed) * CellCount((int)v, vClosed);
    return cells * 6 <= INT_MAX;
}

}  // namespace

// --- In place -----------------------------------------------------------------------------------

bool VOxaGeometryConverter::ReplaceAttribute(VOxaNode* node, VOxaGeometry* old, VOxaGeometry* replacement) {
    oxa_delivery::Scope scope;
    // The shape channels of every take node, the first included: they die with the old
    // attribute otherwise.
    const int takes = node->GetTakeNodeCount();
    const int shapes = old->GetShapeCount();
    std::vector<VFCurve*> saved((size_t)takes * shapes, nullptr);
    for (int t = 0; t < takes; ++t) {
        VOxaTakeNode* take = node->GetTakeNode(t);
        for (int k = 0; k < shapes; ++k) {
            VFCurve* curve = old->GetShapeChannel(take, k);
            if (!curve) continue;
            VFCurve* copy = VFCurve::Create();
            if (copy) copy->CopyFrom(curve, true);
            saved[(size_t)t * shapes + k] = copy;
        }
    }
    node->SetNodeAttribute(replacement);
    for (int t = 0; t < takes; ++t) {
        VOxaTakeNode* take = node->GetTakeNode(t);
        for (int k = 0; k < shapes; ++k) {
            VFCurve* copy = saved[(size_t)t * shapes + k];
            if (!copy) continue;
            if (k < replacement->GetShapeCount()) {
                if (VFCurve* target = replacement->GetShapeChannel(take, k)) target->CopyFrom(copy, true);
            }
            delete copy;
        }
    }
    mManager->DestroyNodeAttribute(old);
    return true;
}

bool VOxaGeometryConverter::TriangulateInPlace(VOxaNode* node) {
    oxa_delivery::Scope scope;
    if (!node) return false;
    VOxaGeometry* old = nullptr;
    VOxaMesh* result = nullptr;
    if (VOxaMesh* mesh = node->GetMesh()) {
        old = mesh;
        result = TriangulateMesh(mesh);
    } else if (VOxaPatch* patch = node->GetPatch()) {
        old = patch;
        result = TriangulatePatch(patch);
    } else if (VOxaNurb* nurb = node->GetNurb()) {
        old = nurb;
        result = TriangulateNurb(nurb);
    }
    if (!old || !result) return false;
    return ReplaceAttribute(node, old, result);
}

bool VOxaGeometryConverter::ConvertPatchToNurbInPlace(VOxaNode* node) {
    oxa_delivery::Scope scope;
    VOxaPatch* patch = node ? node->GetPatch() : nullptr;
    if (!patch) return false;
    VOxaNurb* nurb = ConvertPatchToNurb(patch);
    if (!nurb) return false;
    return ReplaceAttribute(node, patch, nurb);
}

// --- Meshes -------------------------------------------------------------------------------------

VOxaMesh* VOxaGeometryConverter::TriangulateMesh(VOxaMesh* source) {
    if (!source) return nullptr;
    VOxaMesh* result = mManager->CreateMesh();
    if (!result) return nullptr;
    // Memory that runs out part way takes the unfinished copy with it: the manager keeps nothing.
    struct Unfinished {
        VOxaSdkManager* mManager;
        VOxaMesh* mMesh;
        ~Unfinished() {
            if (mMesh) mManager->DestroyNodeAttribute(mMesh);
        }
    } unfinished{mManager, result};
    // The geometry part only: the polygons are rebuilt below.
    result->VOxaGeometry::operator=(*source);

    // Elements by polygon vertex through indices get their indices again, per triangle corner.
    struct Refill {
        VArrayTemplate<int>* target;
        const VArrayTemplate<int>* source;
    };
    std::vector<Refill> refills;
    for (int l = 0, n = result->GetLayerCount(); l < n; ++l) {
        VOxaLayer* layer = result->GetLayer(l);
        VOxaLayer* sourceLayer = source->GetLayer(l);
        if (!layer || !sourceLayer) continue;
        for (int e = 0; e < 6; ++e) {
            VOxaLayerElement* element = ElementOf(layer, e);
            VOxaLayerElement* sourceElement = ElementOf(sourceLayer, e);
            if (!element || !sourceElement || element->GetMappingMode() != eBY_POLYGON_VERTEX ||
                element->GetReferenceMode() != eINDEX_TO_DIRECT)
                continue;
            element->GetIndexArray().Clear();
            refills.push_back(Refill{&element->GetIndexArray(), &sourceElement->GetIndexArray()});
        }
    }

    VOxaLayer* layer0 = source->GetLayer(0);
    VOxaLayerElement* materials = layer0 ? layer0->GetMaterials() : nullptr;
    VOxaLayerElement* textures = layer0 ? layer0->GetTextures() : nullptr;
    auto recordsPerPolygon = [](const VOxaLayerElement* e) {
        return e && e->GetMappingMode() == eBY_POLYGON &&
               (e->GetReferenceMode() == eINDEX || e->GetReferenceMode() == eINDEX_TO_DIRECT);
    };
    const bool materialByPolygon = recordsPerPolygon(materials);
    const bool textureByPolygon = recordsPerPolygon(textures);

    const int* vertices = source->GetPolygonVertices();
    const long long vertexCount = source->GetPolygonVertexCount();
    int fixed[512];
    std::vector<int> large;
    long long first = 0;
    // The mesh's BeginPolygon records the material and texture indices per polygon; the copied
    // arrays are refilled from the source's.
    if (materialByPolygon) result->GetLayer(0)->GetMaterials()->GetIndexArray().Clear();
    if (textureByPolygon) result->GetLayer(0)->GetTextures()->GetIndexArray().Clear();
    for (int p = 0, polygons = source->GetPolygonCount(); p < polygons; ++p) {
        const int size = source->GetPolygonSize(p);
        const long long start = first;
        first += size > 0 ? size : 0;
        if (size < 3) continue;  // a point or a line makes no triangle
        // Without per-polygon indices nothing is recorded: -1 keeps BeginPolygon from making
        // an element the source does not have.
        int material = -1, texture = -1;
        if (materialByPolygon) {
            const VArrayTemplate<int>& a = materials->GetIndexArray();
            material = p < a.GetCount() ? a[p] : 0;
        }
        if (textureByPolygon) {
            const VArrayTemplate<int>& a = textures->GetIndexArray();
            texture = p < a.GetCount() ? a[p] : 0;
        }
        const int corners = (size - 2) * 3;
        int* triangle = fixed;
        if (corners >= 512) {
            large.resize(corners);
            triangle = large.data();
        }
        if (size == 3) {
            triangle[0] = 0;
            triangle[1] = 1;
            triangle[2] = 2;
        } else {
            // A polygon cut short by the vertex array names no points: the plain split.
            const bool whole = start + size <= vertexCount;
            VgeTriangulatePolygon(triangle, size, source->GetControlPoints(), source->GetControlPointsCount(),
                                  whole ? vertices + start : nullptr);
        }
        // A polygon whose edges are marked shown or hidden keeps them in its triangles; the
        // edges a cut adds are hidden.
        unsigned hidden = 0;
        const int group = source->GetPolygonGroup(p);
        const bool edges = voxa_extras::HiddenEdgesOfGroup3ds(group, size, hidden);
        for (int c = 0; c < corners; c += 3) {
            int triangleGroup = size == 3 && edges ? group : -1;
            if (edges && size == 4)
                triangleGroup = voxa_extras::FaceFlagsGroup3ds(
                    voxa_extras::CutTriangleFlags3ds(size, hidden, triangle + c));
            result->BeginPolygon(material, texture, triangleGroup);
            for (int x = 0; x < 3; ++x) {
                const long long position = start + triangle[c + x];
                result->AddPolygonVertex(position < vertexCount ? vertices[position] : 0);
            }
            result->EndPolygon();
        }
        for (const Refill& r : refills) {
            const int count = r.source->GetCount();
            for (int c = 0; c < corners; ++c) {
                const long long position = start + triangle[c];
                int value;
                if (position < count)
                    value = (*r.source)[(int)position];
                else
                    value = size == 3 ? 0 : (count > 0 ? (*r.source)[0] : 0);
                r.target->Add(value);
            }
        }
    }
    unfinished.mMesh = nullptr;
    return result;
}

bool VOxaGeometryConverter::SplitMeshPerPolygonVertex(VOxaMesh* mesh) {
    if (!mesh) return false;
    const int points = mesh->GetControlPointsCount();
    const int corners = mesh->GetPolygonVertexCount();
    auto normalsFit = [corners](VOxaLayerContainer* geometry) {
        for (int l = 0, n = geometry->GetLayerCount(); l < n; ++l) {
            VOxaLayer* layer = geometry->GetLayer(l);
            if (layer && layer->GetNormals() && layer->GetNormals()->GetDirectArray().GetCount() == corners)
                return layer;
        }
        return (VOxaLayer*)nullptr;
    };
    if (!normalsFit(mesh)) return false;
    for (int k = 0, n = mesh->GetShapeCount(); k < n; ++k) {
        VOxaShape* shape = mesh->GetShape(k);
        if (!shape || shape->GetControlPointsCount() != points || !normalsFit(shape)) return false;
    }
    const int* indices = mesh->GetPolygonVertices();
    auto reorder = [&](VOxaGeometryBase* geometry) {
        normalsFit(geometry)->GetNormals()->SetMappingMode(eBY_CONTROL_POINT);
        std::vector<VgeTVector> old(geometry->GetControlPoints(), geometry->GetControlPoints() + points);
        geometry->InitControlPoints(corners);
        VgeTVector* out = geometry->GetControlPoints();
        for (int k = 0; k < corners; ++k) {
            const int c = indices[k];
            out[k] = (c >= 0 && c < points) ? old[c] : VgeTVector();
        }
    };
    reorder(mesh);
    for (int k = 0, n = mesh->GetShapeCount(); k < n; ++k)
        reorder(mesh->GetShape(k));

    VArrayTemplate<VOxaLink*> oldLinks(16), newLinks(16);
    for (int i = 0, n = mesh->GetLinkCount(); i < n; ++i)
        oldLinks.Add(mesh->GetLink(i));
    mesh->ClearLinks();
    VOXAWeightTable table(points, corners);
    for (int k = 0; k < corners; ++k) {
        if (indices[k] >= 0 && indices[k] < points) table.Add(indices[k], k, 1.0);
    }
    TransferLinkWeights(oldLinks, points, newLinks, corners, &table);
    for (int i = 0; i < newLinks.GetCount(); ++i)
        mesh->AddLink(newLinks[i]);
    int* rewrite = mesh->GetPolygonVertices();
    for (int k = 0; k < corners; ++k)
        rewrite[k] = k;
    return true;
}

// --- Patches and NURBS surfaces -----------------------------------------------------------------

VOxaNurb* VOxaGeometryConverter::ConvertPatchToNurb(VOxaPatch* patch) {
    if (!patch) return nullptr;
    const int uType = patch->GetUType(), vType = patch->GetVType();
    auto supported = [](int t) { return t == 0 || t == 3 || t == 4; };
    if (!supported(uType) || !supported(vType)) return nullptr;
    const int uCount = patch->GetUCount(), vCount = patch->GetVCount();
    const long long points = GridSize(uCount, vCount);
    if (points < 0 || patch->GetControlPointsCount() < points) return nullptr;
    VOxaNurb* nurb = mManager->CreateNurb();
    if (!nurb) return nullptr;
    // Layers, links and shapes (with their names) and the pivot.
    nurb->VOxaGeometry::operator=(*patch);
    auto order = [](int t) { return t == 4 ? 2 : 4; };
    auto form = [](int t, bool closed) {
        if (!closed) return eOPEN;
        return t == 3 ? ePERIODIC : (t == 4 ? eCLOSED : eOPEN);
    };
    nurb->SetOrder(order(uType), order(vType));
    nurb->InitControlPoints(uCount, form(uType, patch->GetUClosed()), vCount,
                            form(vType, patch->GetVClosed()));
    nurb->SetStep(patch->GetUStep(), patch->GetVStep());
    auto fill = [](double* knots, int n, int type) {
        if (!knots || n <= 0) return;
        if (type == 0) {
            const int segments = (n - 5) / 3;
            int k = 0;
            for (int r = 0; r < 4 && k < n; ++r)
                knots[k++] = 0.0;
            for (int s = 1; s < segments; ++s)
                for (int r = 0; r < 3 && k < n; ++r)
                    knots[k++] = s;
            while (k < n)
                knots[k++] = segments;
        } else if (type == 3) {
            for (int k = 0; k < n; ++k)
                knots[k] = k;
        } else {
            int k = 0;
            if (k < n) knots[k++] = 0.0;
            for (int v = 0; k < n - 1; ++v)
                knots[k++] = v;
            if (n >= 4) knots[n - 1] = n - 3;
            if (n >= 4) knots[n - 2] = n - 3;
        }
    };
    fill(nurb->GetUKnotVector(), nurb->GetUKnotCount(), uType);
    fill(nurb->GetVKnotVector(), nurb->GetVKnotCount(), vType);
    const VgeTVector* from = patch->GetControlPoints();
    VgeTVector* to = nurb->GetControlPoints();
    for (long long i = 0; i < points && to && from; ++i) {
        to[i] = from[i];
        to[i].mData[3] = 1.0;
    }
    for (int k = 0, n = nurb->GetShapeCount(); k < n; ++k) {
        VOxaShape* shape = nurb->GetShape(k);
        if (!shape) continue;
        VgeTVector* p = shape->GetControlPoints();
        for (int i = 0, c = shape->GetControlPointsCount(); i < c; ++i)
            if (!(p[i].mData[3] > 0.0)) p[i].mData[3] = 1.0;
        if (VOxaLayer* layer = shape->GetLayer(0)) {
            if (VOxaLayerElementNormal* normals = layer->GetNormals()) {
                VgeTVector* q = normals->GetDirectArray().GetArray();
                for (int i = 0, c = normals->GetDirectArray().GetCount(); i < c; ++i)
                    if (!(q[i].mData[3] > 0.0)) q[i].mData[3] = 1.0;
            }
        }
    }
    return nurb;
}

VOxaNurb* VOxaGeometryConverter::FlipNurb(VOxaNurb* nurb, bool swapUV, bool remapLinks) {
    if (!nurb) return nullptr;
    VOxaNurb* result = mManager->CreateNurb();
    if (!result) return nullptr;
    *result = *nurb;
    const int U = nurb->GetUCount(), V = nurb->GetVCount();
    if (swapUV && U >= 0 && V >= 0 && (long long)U * V <= result->GetControlPointsCount()) {
        const std::vector<VgeTVector> points(result->GetControlPoints(),
                                             result->GetControlPoints() + (size_t)U * V);
        const int uKnots = nurb->GetUKnotCount(), vKnots = nurb->GetVKnotCount();
        result->SetOrder(nurb->GetVOrder(), nurb->GetUOrder());
        result->InitControlPoints(V, nurb->GetVForm(), U, nurb->GetUForm());
        result->SetStep(nurb->GetVStep(), nurb->GetUStep());
        auto copy = [](double* to, int toCount, const double* from, int fromCount) {
            if (!to || !from) return;
            for (int i = 0; i < toCount && i < fromCount; ++i)
                to[i] = from[i];
        };
        copy(result->GetUKnotVector(), result->GetUKnotCount(), nurb->GetVKnotVector(), vKnots);
        copy(result->GetVKnotVector(), result->GetVKnotCount(), nurb->GetUKnotVector(), uKnots);
        int* um = result->GetUMultiplicityVector();
        int* vm = result->GetVMultiplicityVector();
        for (int i = 0; um && nurb->GetVMultiplicityVector() && i < V; ++i)
            um[i] = nurb->GetVMultiplicityVector()[i];
        for (int i = 0; vm && nurb->GetUMultiplicityVector() && i < U; ++i)
            vm[i] = nurb->GetUMultiplicityVector()[i];
        VgeTVector* out = result->GetControlPoints();
        // New point (u = j, v = i) is old point (u = i, v = j).
        for (int j = 0; j < V; ++j)
            for (int i = 0; i < U; ++i)
                out[(size_t)i * V + j] = points[(size_t)j * U + i];
    }
    if (remapLinks && U > 0 && V > 0) {
        for (int l = 0, n = result->GetLinkCount(); l < n; ++l) {
            VOxaLink* link = result->GetLink(l);
            if (!link) continue;
            int* indices = link->GetControlPointIndices();
            for (int i = 0, c = link->GetControlPointIndicesCount(); i < c; ++i) {
                const long long index = indices[i];
                // Indices outside the grid have no transposed place: they stay as they are.
                if (index >= 0 && index < (long long)U * V) indices[i] = (int)((index % U) * V + index / U);
            }
        }
    }
    return result;
}

VOxaMesh* VOxaGeometryConverter::CreateMeshFrom(VOxaGeometry* geometry) {
    if (!geometry) return nullptr;
    VOxaMesh* mesh = mManager->CreateMesh();
    if (!mesh) return nullptr;
    mesh->CopyLayers(*geometry);
    mesh->CopyPivot(*geometry);
    return mesh;
}

void VOxaGeometryConverter::ResetControlPointW(VOxaGeometryBase* geometry) {
    if (!geometry) return;
    VgeTVector* p = geometry->GetControlPoints();
    for (int i = 0, n = geometry->GetControlPointsCount(); i < n; ++i)
        p[i].mData[3] = 1.0;
}

void VOxaGeometryConverter::ResetNormalW(VOxaGeometryBase* geometry) {
    if (!geometry) return;
    for (int l = 0, n = geometry->GetLayerCount(); l < n; ++l) {
        VOxaLayer* layer = geometry->GetLayer(l);
        if (!layer || !layer->GetNormals()) continue;
        VArrayTemplate<VgeTVector>& normals = layer->GetNormals()->GetDirectArray();
        VgeTVector* q = normals.GetArray();
        for (int i = 0, c = normals.GetCount(); i < c; ++i)
            q[i].mData[3] = 1.0;
        return;
    }
}

VOxaMesh* VOxaGeometryConverter::TriangulatePatch(VOxaPatch* patch) {
    oxa_delivery::Scope scope;
    if (!patch) return nullptr;
    const int uCount = patch->GetUCount(), vCount = patch->GetVCount();
    if (!HoldsPoints(patch, GridSize(uCount, vCount))) return nullptr;
    auto known = [](int type) { return type >= eBEZIER && type <= eLINEAR; };
    if (!known(patch->GetUType()) || !known(patch->GetVType())) return nullptr;
    VOXASurfaceEvaluator* evaluator =
        VOXASurfaceEvaluator::CreatePatchEvaluator(patch->GetUType(), patch->GetVType());
    if (!evaluator) return nullptr;
    evaluator->SetUClosed(patch->GetUClosed() ? 1 : 0);
    evaluator->SetVClosed(patch->GetVClosed() ? 1 : 0);
    evaluator->SetUStep(patch->GetUStep());
    evaluator->SetVStep(patch->GetVStep());
    evaluator->SetControlPoints(patch->GetControlPoints(), uCount, vCount);
    VOxaMesh* mesh =
        TriangulateSurface(patch, evaluator, uCount, vCount, patch->GetUClosed(), patch->GetVClosed());
    VOXASurfaceEvaluator::Destroy(evaluator);
    return mesh;
}

VOxaMesh* VOxaGeometryConverter::TriangulateNurb(VOxaNurb* nurb) {
    oxa_delivery::Scope scope;
    if (!nurb) return nullptr;
    const int uOrder = nurb->GetUOrder(), vOrder = nurb->GetVOrder();
    if (uOrder < 1 || uOrder > 4 || vOrder < 1 || vOrder > 4) return nullptr;
    const int uCount = nurb->GetUCount(), vCount = nurb->GetVCount();
    const long long points = GridSize(uCount, vCount);
    if (!HoldsPoints(nurb, points)) return nullptr;
    const bool uClosed = nurb->GetUForm() != eOPEN, vClosed = nurb->GetVForm() != eOPEN;
    // The evaluator reads count + order (+ order - 1 when closed) knots per direction.
    auto knotsFit = [](const double* knots, int have, int count, int order, bool closed) {
        return knots && have == (long long)count + order + (closed ? order - 1 : 0);
    };
    if (!knotsFit(nurb->GetUKnotVector(), nurb->GetUKnotCount(), uCount, uOrder, uClosed) ||
        !knotsFit(nurb->GetVKnotVector(), nurb->GetVKnotCount(), vCount, vOrder, vClosed))
        return nullptr;
    VOXANURBSurfaceEvaluator* evaluator = VOXANURBSurfaceEvaluator::Create(uOrder, vOrder);
    if (!evaluator) return nullptr;
    evaluator->SetUClosed(uClosed ? 1 : 0);
    evaluator->SetVClosed(vClosed ? 1 : 0);
    evaluator->SetUStep(nurb->GetUStep());
    evaluator->SetVStep(nurb->GetVStep());
    evaluator->SetControlPoints(nurb->GetControlPoints(), uCount, vCount);
    evaluator->SetData(1, nurb->GetUKnotVector());
    evaluator->SetData(2, nurb->GetVKnotVector());
    VOxaMesh* mesh = nullptr;
    std::vector<double> weights, weighted;
    try {
        weights.resize((size_t)points);
        weighted.resize((size_t)points * 3);
    } catch (const std::bad_alloc&) {
        oxa_alloc::NoteFailure();
        VOXASurfaceEvaluator::Destroy(evaluator);
        return nullptr;
    }
    const VgeTVector* p = nurb->GetControlPoints();
    for (long long i = 0; i < points; ++i)
        weights[i] = p[i].mData[3];
    evaluator->SetData(0, weights.data());
    evaluator->SetData(5, weighted.data());
    mesh = TriangulateSurface(nurb, evaluator, uCount, vCount, uClosed, vClosed);
    VOXASurfaceEvaluator::Destroy(evaluator);
    return mesh;
}

VOxaMesh* VOxaGeometryConverter::TriangulateSurface(VOxaGeometry* surface, VOXASurfaceEvaluator* evaluator,
                                                    int uCount, int vCount, bool uClosed, bool vClosed) {
    const int U = evaluator->GetUVertexCount(), V = evaluator->GetVVertexCount();
    if (!GridFits(U, V, uClosed, vClosed)) return nullptr;
    VOxaMesh* mesh = CreateMeshFrom(surface);
    if (!mesh) return nullptr;
    const int vertices = U * V;
    mesh->InitControlPoints(vertices);
    mesh->InitNormals(0);
    if (mesh->GetControlPointsCount() != vertices || !mesh->GetNormals()) {
        mManager->DestroyNodeAttribute(mesh);
        return nullptr;
    }
    evaluator->SetPointOutput(mesh->GetControlPoints());
    evaluator->SetNormalOutput(mesh->GetNormals());
    ResetControlPointW(mesh);
    ResetNormalW(mesh);
    // The weight table only serves to move links: without links it is not filled.
    const bool linked = surface->GetLinkCount() > 0;
    VOXAWeightTable table(linked ? surface->GetControlPointsCount() : 0, linked ? vertices : 0);
    evaluator->Evaluate(linked ? &table : nullptr);
    TessellateShapes(surface, mesh, evaluator, uCount, vCount);
    TransferLinks(surface, mesh, &table);
    BuildSurfaceGrid(mesh, evaluator, evaluator->GetUVertexCount(), evaluator->GetVVertexCount(), false);
    return mesh;
}

void VOxaGeometryConverter::TessellateShapes(VOxaGeometry* surface, VOxaMesh* mesh,
                                             VOXASurfaceEvaluator* evaluator, int uCount, int vCount) {
    if (!surface || !mesh || !evaluator) return;
    const long long points = GridSize(uCount, vCount);
    for (int k = 0, n = surface->GetShapeCount(); k < n; ++k) {
        VOxaShape* source = surface->GetShape(k);
        // A shape shorter than the grid cannot be evaluated; the callers refuse such surfaces.
        if (!source || points < 0 || source->GetControlPointsCount() < points) continue;
        evaluator->SetControlPoints(source->GetControlPoints(), uCount, vCount);
        VOxaShape* shape = mManager->CreateShape();
        if (!shape) continue;
        *shape = *source;
        const int vertices = evaluator->GetUVertexCount() * evaluator->GetVVertexCount();
        shape->InitControlPoints(vertices);
        shape->InitNormals(0);
        evaluator->SetPointOutput(shape->GetControlPoints());
        evaluator->SetNormalOutput(shape->GetNormals());
        ResetControlPointW(shape);
        ResetNormalW(shape);
        evaluator->Evaluate(nullptr);
        mesh->AddShape(shape, surface->GetShapeName(k));
    }
}

void VOxaGeometryConverter::TransferLinks(VOxaGeometry* surface, VOxaMesh* mesh, VOXAWeightTable* table) {
    if (!surface || !mesh || !table) return;
    for (int i = 0, n = mesh->GetLinkCount(); i < n; ++i)
        mManager->DestroyLink(mesh->GetLink(i));
    mesh->ClearLinks();
    VArrayTemplate<VOxaLink*> oldLinks(16), newLinks(16);
    for (int i = 0, n = surface->GetLinkCount(); i < n; ++i)
        if (VOxaLink* link = surface->GetLink(i)) oldLinks.Add(link);
    TransferLinkWeights(oldLinks, surface->GetControlPointsCount(), newLinks, mesh->GetControlPointsCount(),
                        table);
    for (int i = 0; i < newLinks.GetCount(); ++i)
        mesh->AddLink(newLinks[i]);
}

void VOxaGeometryConverter::TransferLinkWeights(VArrayTemplate<VOxaLink*>& oldLinks, int sourceCount,
                                                VArrayTemplate<VOxaLink*>& output, int destinationCount,
                                                VOXAWeightTable* table) {
    const int links = oldLinks.GetCount();
    if (links == 0 || !table || !oldLinks[0]) return;
    const int mode = oldLinks[0]->GetLinkMode();
    table->Normalize(1, true);
    VOXAWeightTable linkTable(links, sourceCount);
    for (int k = 0; k < links; ++k) {
        const VOxaLink* link = oldLinks[k];
        if (!link) continue;
        const int* indices = link->GetControlPointIndices();
        const double* weights = link->GetControlPointWeights();
        for (int i = 0, n = link->GetControlPointIndicesCount(); i < n; ++i)
            if (indices[i] >= 0 && indices[i] < sourceCount) linkTable.Add(k, indices[i], weights[i]);
    }
    if (mode == 0) linkTable.Normalize(1, true);
    const int tableSources = table->GetRowCount(0);
    std::vector<double> sums(destinationCount > 0 ? destinationCount : 0, 0.0);
    std::vector<int> touched;
    for (int k = 0; k < links; ++k) {
        VOxaLink* old = oldLinks[k];
        if (!old) continue;
        VOxaLink* link = mManager->CreateLink();
        if (!link) continue;
        link->SetLink(old->GetLink());
        link->SetAssociateModel(old->GetAssociateModel());
        VgeTVector v;
        link->SetTransformT(old->GetTransformT(v));
        link->SetTransformR(old->GetTransformR(v));
        link->SetTransformS(old->GetTransformS(v));
        link->SetTransformLinkT(old->GetTransformLinkT(v));
        link->SetTransformLinkR(old->GetTransformLinkR(v));
        link->SetTransformLinkS(old->GetTransformLinkS(v));
        link->SetTransformAssociateModelT(old->GetTransformAssociateModelT(v));
        link->SetTransformAssociateModelR(old->GetTransformAssociateModelR(v));
        link->SetTransformAssociateModelS(old->GetTransformAssociateModelS(v));
        link->SetLinkMode(mode == 0 ? 2 : mode);
        touched.clear();
        for (int e = 0, n = linkTable.GetEntryCount(0, k); e < n; ++e) {
            const VOXAWeightEntry& a = linkTable.GetEntry(0, k, e);
            if (a.index >= tableSources) continue;
            for (int f = 0, m = table->GetEntryCount(0, a.index); f < m; ++f) {
                const VOXAWeightEntry& b = table->GetEntry(0, a.index, f);
                if (b.index < 0 || b.index >= destinationCount) continue;
                double product = a.weight * b.weight;
                if (product < 0) product = -product;
                if (sums[b.index] == 0.0) touched.push_back(b.index);
                sums[b.index] += product;
            }
        }
        std::sort(touched.begin(), touched.end());
        touched.erase(std::unique(touched.begin(), touched.end()), touched.end());
        for (int d : touched) {
            if (sums[d] != 0.0) link->AddControlPointIndex(d, sums[d]);
            sums[d] = 0.0;
        }
        output.Add(link);
    }
}

bool VOxaGeometryConverter::BuildSurfaceGrid(VOxaMesh* mesh, VOXASurfaceEvaluator* evaluator, int U, int V,
                                             bool reverseWinding) {
    if (!mesh || !evaluator) return false;
    const bool uClosed = evaluator->GetUClosed() == 1, vClosed = evaluator->GetVClosed() == 1;
    if (!GridFits(U, V, uClosed, vClosed)) return false;
    if (mesh->GetLayerCount() == 0) mesh->CreateLayer();
    VOxaLayer* layer = mesh->GetLayer(0);
    if (!layer) return false;
    VOxaLayerElementUV* uvs = layer->GetUVs();
    if (!uvs) {
        uvs = oxa_alloc::Counted(new (std::nothrow) VOxaLayerElementUV());
        if (!uvs) return false;
        layer->SetUVs(uvs);
    }
    // UVs copied from the surface do not describe the cells: start afresh.
    uvs->GetDirectArray().Clear();
    uvs->GetIndexArray().Clear();
    uvs->SetMappingMode(eBY_POLYGON_VERTEX);
    uvs->SetReferenceMode(eINDEX_TO_DIRECT);
    const long long cu = CellCount(U, uClosed), cv = CellCount(V, vClosed);
    const double du = uClosed ? U : U - 1, dv = vClosed ? V : V - 1;
    VArrayTemplate<VgeVector2>& direct = uvs->GetDirectArray();
    if (!direct.SetCount((int)(cu * cv * 4))) return false;
    VgeVector2* uv = direct.GetArray();
    int next = 0;
    for (int j = 0; j < cv; ++j) {
        const int j1 = (j + 1) % V;
        const double v0 = dv > 0 ? j / dv : 0.0, v1 = dv > 0 ? (j + 1) / dv : 0.0;
        for (int i = 0; i < cu; ++i) {
            const int i1 = (i + 1) % U;
            const double u0 = du > 0 ? i / du : 0.0, u1 = du > 0 ? (i + 1) / du : 0.0;
            const int a = j * U + i, b = j * U + i1, c = j1 * U + i, d = j1 * U + i1;
            uv[next] = VgeVector2(u0, v0);
            uv[next + 1] = VgeVector2(u1, v0);
            uv[next + 2] = VgeVector2(u0, v1);
            uv[next + 3] = VgeVector2(u1, v1);
            const int ua = next, ub = next + 1, uc = next + 2, ud = next + 3;
            next += 4;
            mesh->BeginPolygon(-1, -1, -1);
            mesh->AddPolygonVertex(a, ua);
            if (reverseWinding) {
                mesh->AddPolygonVertex(b, ub);
                mesh->AddPolygonVertex(c, uc);
            } else {
                mesh->AddPolygonVertex(c, uc);
                mesh->AddPolygonVertex(b, ub);
            }
            mesh->EndPolygon();
            mesh->BeginPolygon(-1, -1, -1);
            mesh->AddPolygonVertex(b, ub);
            if (reverseWinding) {
                mesh->AddPolygonVertex(d, ud);
                mesh->AddPolygonVertex(c, uc);
            } else {
                mesh->AddPolygonVertex(c, uc);
                mesh->AddPolygonVertex(d, ud);
            }
            mesh->EndPolygon();
        }
    }
    return true;
}
