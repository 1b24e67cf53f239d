// The contracts of the drag-and-drop objects: interface ids, reference counts, and every answer
// of the data object, the format enumerator, the drop source and the drop target.

#include "DropWindow.h"

#include "dragdrop/DataObject.h"
#include "dragdrop/DropFiles.h"
#include "dragdrop/DropSource.h"
#include "dragdrop/DropTarget.h"
#include "dragdrop/EnumFormatEtc.h"
#include "dragdrop/GlobalMemory.h"
#include "dragdrop/OleShim.h"
#include "dragdrop/UrlDataObject.h"
#include "dragdrop/WindowMessage.h"

#include <QWidget>
#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

using namespace quill::ole;
using quill::test::DropWindow;

namespace {

// A data object holding one file list, as the drag routine prepares it. Owns the held block,
// since the data object never frees it.
struct HeldFileList {
    explicit HeldFileList(const QByteArray& path) : block(makeDropFiles({path})) {
        object = ComPtr<IDataObject>::adopt(TDataObject::Create());
        FORMATETC format = hdropFormat();
        STGMEDIUM medium{TYMED_HGLOBAL, block.get(), nullptr};
        result = object->SetData(&format, &medium, 1);
    }
    GlobalBlock block;
    ComPtr<IDataObject> object;
    HRESULT result = E_FAIL;
};

std::vector<unsigned char> bytesOf(HGLOBAL handle) {
    const GlobalLockGuard lock(handle);
    const auto* data = static_cast<const unsigned char*>(lock.data());
    return data == nullptr ? std::vector<unsigned char>{}
                           : std::vector<unsigned char>(data, data + lock.size());
}

// Counts as the Windows receiver would: through the data, not through our bookkeeping.
UINT fileCount(HGLOBAL handle) {
    const GlobalLockGuard lock(handle);
    return DragQueryFileA(lock.data(), kDragQueryCount, nullptr, 0);
}

IID withLastByte(IID id, std::uint8_t last) {
    id.Data4[7] = last;
    return id;
}

template <class T> void expectInterfaces(T* object, const IID& own) {
    void* out = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(object->QueryInterface(IID_IUnknown, &out), S_OK);
    EXPECT_EQ(out, static_cast<void*>(object));
    EXPECT_EQ(object->Release(), 1u);
    EXPECT_EQ(object->QueryInterface(own, &out), S_OK);
    EXPECT_EQ(object->Release(), 1u);
    // Ids that differ in one byte only, or belong to another of the objects, are refused.
    out = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(object->QueryInterface(withLastByte(own, 0x47), &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    const IID& other = IsEqualGUID(own, IID_IDropTarget) ? IID_IDataObject : IID_IDropTarget;
    EXPECT_EQ(object->QueryInterface(other, &out), E_NOINTERFACE);
    EXPECT_EQ(object->QueryInterface(own, nullptr), E_POINTER);
}

} // namespace

TEST(ComObjects, AnswerForIUnknownAndTheirOwnInterfaceOnly) {
    auto* source = TDropSource::Create();
    expectInterfaces(source, IID_IDropSource);
    EXPECT_EQ(source->Release(), 0u);

    auto* data = TDataObject::Create();
    expectInterfaces(data, IID_IDataObject);
    EXPECT_EQ(data->Release(), 0u);

    auto* target = TDropTarget::Create(nullptr);
    expectInterfaces(target, IID_IDropTarget);
    EXPECT_EQ(target->Release(), 0u);

    auto* enumerator = TEnumFormatEtc::Create(nullptr, 0);
    enumerator->AddRef();
    expectInterfaces(enumerator, IID_IEnumFORMATETC);
    EXPECT_EQ(enumerator->Release(), 0u);
}

TEST(ComObjects, CountFromOneAndDestroyThemselvesAtZero) {
    const int sources = TDropSource::liveObjects();
    auto* source = TDropSource::Create();
    EXPECT_EQ(TDropSource::liveObjects(), sources + 1);
    EXPECT_EQ(source->AddRef(), 2u);
    EXPECT_EQ(source->Release(), 1u);
    EXPECT_EQ(TDropSource::liveObjects(), sources + 1);
    EXPECT_EQ(source->Release(), 0u);
    EXPECT_EQ(TDropSource::liveObjects(), sources);

    const int objects = TDataObject::liveObjects();
    auto* data = TDataObject::Create();
    EXPECT_EQ(data->AddRef(), 2u);
    EXPECT_EQ(data->Release(), 1u);
    EXPECT_EQ(data->Release(), 0u);
    EXPECT_EQ(TDataObject::liveObjects(), objects);

    const int targets = TDropTarget::liveObjects();
    auto* target = TDropTarget::Create(nullptr);
    EXPECT_EQ(target->AddRef(), 2u);
    EXPECT_EQ(target->Release(), 1u);
    EXPECT_EQ(target->Release(), 0u);
    EXPECT_EQ(TDropTarget::liveObjects(), targets);
}

TEST(ComObjects, EnumeratorStartsAtZeroAndItsCreatorAddsTheFirstReference) {
    const int before = TEnumFormatEtc::liveObjects();
    const FORMATETC format = hdropFormat();
    auto* enumerator = TEnumFormatEtc::Create(&format, 1);
    ASSERT_NE(enumerator, nullptr);
    EXPECT_EQ(enumerator->AddRef(), 1u);
    EXPECT_EQ(enumerator->AddRef(), 2u);
    EXPECT_EQ(enumerator->Release(), 1u);
    EXPECT_EQ(TEnumFormatEtc::liveObjects(), before + 1);
    EXPECT_EQ(enumerator->Release(), 0u);
    EXPECT_EQ(TEnumFormatEtc::liveObjects(), before);

    // The data object's enumerator and a clone each come with exactly one reference.
    HeldFileList held("/tmp/a.jpg");
    IEnumFORMATETC* listed = nullptr;
    ASSERT_EQ(held.object->EnumFormatEtc(DATADIR_GET, &listed), S_OK);
    IEnumFORMATETC* clone = nullptr;
    ASSERT_EQ(listed->Clone(&clone), S_OK);
    EXPECT_EQ(TEnumFormatEtc::liveObjects(), before + 2);
    EXPECT_EQ(listed->Release(), 0u);
    EXPECT_EQ(clone->Release(), 0u);
    EXPECT_EQ(TEnumFormatEtc::liveObjects(), before);
}

TEST(DropSource, GoesOnOnlyWhileTheLeftButtonIsDownAndEscapeCancels) {
    const auto source = ComPtr<IDropSource>::adopt(TDropSource::Create());
    EXPECT_EQ(source->QueryContinueDrag(0, MK_LBUTTON), S_OK);
    EXPECT_EQ(source->QueryContinueDrag(0, MK_LBUTTON | MK_SHIFT | MK_CONTROL), S_OK);
    EXPECT_EQ(source->QueryContinueDrag(0, 0), DRAGDROP_S_DROP);
    EXPECT_EQ(source->QueryContinueDrag(0, MK_RBUTTON), DRAGDROP_S_DROP);
    EXPECT_EQ(source->QueryContinueDrag(1, MK_LBUTTON), DRAGDROP_S_CANCEL);
    EXPECT_EQ(source->QueryContinueDrag(1, 0), DRAGDROP_S_CANCEL);
    EXPECT_EQ(source->GiveFeedback(DROPEFFECT_COPY), DRAGDROP_S_USEDEFAULTCURSORS);
    EXPECT_EQ(source->GiveFeedback(DROPEFFECT_NONE), DRAGDROP_S_USEDEFAULTCURSORS);
}

TEST(FormatEnumerator, DataObjectListsExactlyOneFileListEntry) {
    HeldFileList held("/tmp/a.jpg");
    ASSERT_EQ(held.result, S_OK);
    ComPtr<IEnumFORMATETC> listed;
    ASSERT_EQ(held.object->EnumFormatEtc(DATADIR_GET, listed.put()), S_OK);

    FORMATETC entries[10]{};
    ULONG fetched = 99;
    EXPECT_EQ(listed->Next(10, entries, &fetched), S_OK);
    EXPECT_EQ(fetched, 1u);
    EXPECT_EQ(entries[0].cfFormat, CF_HDROP);
    EXPECT_EQ(entries[0].ptd, nullptr);
    EXPECT_EQ(entries[0].dwAspect, DVASPECT_CONTENT);
    EXPECT_EQ(entries[0].lindex, -1);
    EXPECT_EQ(entries[0].tymed, TYMED_HGLOBAL);
    EXPECT_EQ(listed->Next(10, entries, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 0u);

    // Setting data asks the system's registered formats; no enumerator is made.
    IEnumFORMATETC* untouched = reinterpret_cast<IEnumFORMATETC*>(0x1);
    const int enumerators = TEnumFormatEtc::liveObjects();
    EXPECT_EQ(held.object->EnumFormatEtc(DATADIR_SET, &untouched), OLE_S_USEREG);
    EXPECT_EQ(untouched, reinterpret_cast<IEnumFORMATETC*>(0x1));
    EXPECT_EQ(TEnumFormatEtc::liveObjects(), enumerators);
}

TEST(FormatEnumerator, NextRefusesEmptyRequestsAndManyWithoutAFetchedCount) {
    FORMATETC formats[3] = {hdropFormat(), hdropFormat(), hdropFormat()};
    formats[1].cfFormat = 1;
    formats[2].cfFormat = 2;
    const auto listed = ComPtr<IEnumFORMATETC>::share(TEnumFormatEtc::Create(formats, 3));
    FORMATETC out[3]{};
    ULONG fetched = 7;
    EXPECT_EQ(listed->Next(0, out, &fetched), S_FALSE);
    EXPECT_EQ(listed->Next(2, nullptr, &fetched), S_FALSE);
    EXPECT_EQ(listed->Next(2, out, nullptr), S_FALSE);
    // None of these moved the position.
    EXPECT_EQ(listed->Next(1, out, nullptr), S_OK);
    EXPECT_EQ(out[0].cfFormat, CF_HDROP);
    // Fewer left than wanted is still a success.
    EXPECT_EQ(listed->Next(3, out, &fetched), S_OK);
    EXPECT_EQ(fetched, 2u);
    EXPECT_EQ(out[0].cfFormat, 1);
    EXPECT_EQ(out[1].cfFormat, 2);
    EXPECT_EQ(listed->Next(1, out, nullptr), S_FALSE);
}

TEST(FormatEnumerator, SkipRefusesToLandOnTheEndAndResetAndCloneKeepTheirOwnPosition) {
    FORMATETC formats[3] = {hdropFormat(), hdropFormat(), hdropFormat()};
    for (CLIPFORMAT i = 0; i < 3; ++i) {
        formats[i].cfFormat = static_cast<CLIPFORMAT>(100 + i);
    }
    const auto listed = ComPtr<IEnumFORMATETC>::share(TEnumFormatEtc::Create(formats, 3));
    EXPECT_EQ(listed->Skip(3), S_FALSE);
    EXPECT_EQ(listed->Skip(0xFFFFFFFF), S_FALSE);
    EXPECT_EQ(listed->Skip(0), S_OK);
    EXPECT_EQ(listed->Skip(1), S_OK);
    EXPECT_EQ(listed->Skip(2), S_FALSE); // would land exactly on the end
    EXPECT_EQ(listed->Skip(1), S_OK);

    FORMATETC out{};
    ULONG fetched = 0;
    ComPtr<IEnumFORMATETC> clone;
    ASSERT_EQ(listed->Clone(clone.put()), S_OK);
    EXPECT_EQ(listed->Clone(nullptr), S_FALSE);

    ASSERT_EQ(listed->Next(1, &out, &fetched), S_OK);
    EXPECT_EQ(out.cfFormat, 102);
    EXPECT_EQ(listed->Skip(0), S_FALSE); // already at the end
    EXPECT_EQ(listed->Reset(), S_OK);
    ASSERT_EQ(listed->Next(1, &out, &fetched), S_OK);
    EXPECT_EQ(out.cfFormat, 100);

    // The clone took the position at cloning and moves on its own.
    ASSERT_EQ(clone->Next(1, &out, &fetched), S_OK);
    EXPECT_EQ(out.cfFormat, 102);
    EXPECT_EQ(clone->Next(1, &out, &fetched), S_FALSE);
}

TEST(DataObject, GetDataHandsOutA541ByteCopyOfTheFileListLaidOutByteByByte) {
    const QByteArray path = "/home/user/Fotos/bild1.JPG";
    HeldFileList held(path);
    const int blocks = liveGlobalBlocks();
    FORMATETC format = hdropFormat();
    STGMEDIUM first{};
    ASSERT_EQ(held.object->GetData(&format, &first), S_OK);
    EXPECT_EQ(first.tymed, TYMED_HGLOBAL);
    EXPECT_EQ(first.pUnkForRelease, nullptr);
    ASSERT_NE(first.hGlobal, nullptr);
    EXPECT_NE(first.hGlobal, held.block.get());

    const std::vector<unsigned char> bytes = bytesOf(first.hGlobal);
    ASSERT_EQ(bytes.size(), 541u);
    const unsigned char header[20] = {20, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(std::memcmp(bytes.data(), header, sizeof header), 0);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes.data()) + 20, path.size()),
              path.toStdString());
    EXPECT_EQ(bytes[20 + path.size()], 0);
    EXPECT_EQ(bytes[21 + path.size()], 0);
    EXPECT_EQ(fileCount(first.hGlobal), 1u);

    // Every call is a fresh copy, and the receiver frees it.
    STGMEDIUM second{};
    ASSERT_EQ(held.object->GetData(&format, &second), S_OK);
    EXPECT_NE(second.hGlobal, first.hGlobal);
    EXPECT_EQ(liveGlobalBlocks(), blocks + 2);
    ReleaseStgMedium(&first);
    ReleaseStgMedium(&second);
    EXPECT_EQ(liveGlobalBlocks(), blocks);
    EXPECT_EQ(first.hGlobal, nullptr);
    EXPECT_EQ(bytesOf(held.block.get()).size(), static_cast<size_t>(path.size() + 22));
}

TEST(DataObject, AnEmptyListStaysEmptyInTheCopy) {
    HeldFileList held("");
    EXPECT_EQ(bytesOf(held.block.get()).size(), 22u);
    FORMATETC format = hdropFormat();
    STGMEDIUM medium{};
    ASSERT_EQ(held.object->GetData(&format, &medium), S_OK);
    EXPECT_EQ(fileCount(medium.hGlobal), 0u);
    ReleaseStgMedium(&medium);
}

TEST(DataObject, EveryPathGoesOutWholeInACopySizedForIt) {
    FORMATETC format = hdropFormat();
    STGMEDIUM medium{};
    const QByteArray longest = "/" + QByteArray(518, 'a');
    HeldFileList fits(longest);
    ASSERT_EQ(fits.object->GetData(&format, &medium), S_OK);
    const std::vector<unsigned char> bytes = bytesOf(medium.hGlobal);
    ASSERT_EQ(bytes.size(), 541u);
    EXPECT_EQ(bytes[539], 0);
    EXPECT_EQ(bytes[540], 0);
    std::vector<char> name(600);
    {
        const GlobalLockGuard lock(medium.hGlobal);
        EXPECT_EQ(DragQueryFileA(lock.data(), 0, name.data(), 600), 519u);
    }
    EXPECT_EQ(QByteArray(name.data()), longest);
    ReleaseStgMedium(&medium);

    // Longer paths get a copy sized for them, whole: a file system allows 4095 bytes.
    for (const qsizetype size : {520, 4095}) {
        const QByteArray longer = "/" + QByteArray(size - 1, 'b');
        HeldFileList held(longer);
        ASSERT_EQ(held.object->GetData(&format, &medium), S_OK) << size;
        const std::vector<unsigned char> copy = bytesOf(medium.hGlobal);
        EXPECT_EQ(copy.size(), sizeof(DROPFILES) + std::size_t(size) + 2);
        std::vector<char> out(std::size_t(size) + 1);
        {
            const GlobalLockGuard lock(medium.hGlobal);
            ASSERT_EQ(DragQueryFileA(lock.data(), 0, nullptr, 0), UINT(size));
            DragQueryFileA(lock.data(), 0, out.data(), UINT(size) + 1);
        }
        EXPECT_EQ(QByteArray(out.data()), longer);
        ReleaseStgMedium(&medium);
    }
}

TEST(DataObject, GetDataWithoutMemoryForTheCopyReportsAFullMedium) {
    HeldFileList held("/tmp/a.jpg");
    failGlobalAllocAfter(0);
    FORMATETC format = hdropFormat();
    STGMEDIUM medium{};
    const HRESULT result = held.object->GetData(&format, &medium);
    failGlobalAllocAfter(-1);
    EXPECT_EQ(result, STG_E_MEDIUMFULL);
    EXPECT_EQ(medium.hGlobal, nullptr);
}

TEST(DataObject, GetDataRefusesForeignFormatsAspectsAndMediaAndNullArguments) {
    HeldFileList held("/tmp/a.jpg");
    STGMEDIUM medium{};
    FORMATETC text = hdropFormat();
    text.cfFormat = 1; // CF_TEXT
    EXPECT_EQ(held.object->GetData(&text, &medium), DV_E_FORMATETC);
    FORMATETC icon = hdropFormat();
    icon.dwAspect = DVASPECT_ICON;
    EXPECT_EQ(held.object->GetData(&icon, &medium), DV_E_FORMATETC);
    FORMATETC stream = hdropFormat();
    stream.tymed = TYMED_ISTREAM;
    EXPECT_EQ(held.object->GetData(&stream, &medium), DV_E_FORMATETC);
    FORMATETC format = hdropFormat();
    EXPECT_EQ(held.object->GetData(nullptr, &medium), E_INVALIDARG);
    EXPECT_EQ(held.object->GetData(&format, nullptr), E_INVALIDARG);

    // Index and target device are not compared; several media kinds may be asked at once.
    FORMATETC loose = hdropFormat();
    loose.lindex = 3;
    loose.tymed = TYMED_HGLOBAL | TYMED_ISTREAM;
    ASSERT_EQ(held.object->GetData(&loose, &medium), S_OK);
    ReleaseStgMedium(&medium);

    const auto empty = ComPtr<IDataObject>::adopt(TDataObject::Create());
    EXPECT_EQ(empty->GetData(&format, &medium), DV_E_FORMATETC);
}

TEST(DataObject, QueryGetDataTellsAspectFromMediumFailures) {
    HeldFileList held("/tmp/a.jpg");
    FORMATETC format = hdropFormat();
    EXPECT_EQ(held.object->QueryGetData(&format), S_OK);
    EXPECT_EQ(held.object->QueryGetData(nullptr), S_FALSE);
    FORMATETC icon = hdropFormat();
    icon.dwAspect = DVASPECT_ICON;
    EXPECT_EQ(held.object->QueryGetData(&icon), DV_E_DVASPECT);
    FORMATETC text = hdropFormat();
    text.cfFormat = 1;
    EXPECT_EQ(held.object->QueryGetData(&text), DV_E_TYMED);
    FORMATETC stream = hdropFormat();
    stream.tymed = TYMED_ISTREAM;
    EXPECT_EQ(held.object->QueryGetData(&stream), DV_E_TYMED);
}

TEST(DataObject, FixedAnswersOfTheUnsupportedOperations) {
    HeldFileList held("/tmp/a.jpg");
    FORMATETC format = hdropFormat();
    FORMATETC out{};
    STGMEDIUM medium{};
    EXPECT_EQ(held.object->GetDataHere(nullptr, &medium), E_INVALIDARG);
    EXPECT_EQ(held.object->GetDataHere(&format, nullptr), E_INVALIDARG);
    EXPECT_EQ(held.object->GetDataHere(&format, &medium), E_NOTIMPL);
    EXPECT_EQ(held.object->GetCanonicalFormatEtc(&format, &out), DATA_S_SAMEFORMATETC);
    DWORD connection = 0;
    EXPECT_EQ(held.object->DAdvise(&format, 0, nullptr, &connection), E_NOTIMPL);
    EXPECT_EQ(held.object->DUnadvise(1), E_NOTIMPL);
    EXPECT_EQ(held.object->EnumDAdvise(nullptr), OLE_E_ADVISENOTSUPPORTED);
}

TEST(DataObject, SetDataTakesFiveEntriesWithReleaseAndNeverFreesTheirBlocks) {
    const int blocks = liveGlobalBlocks();
    std::vector<GlobalBlock> held;
    {
        const auto object = ComPtr<IDataObject>::adopt(TDataObject::Create());
        FORMATETC format = hdropFormat();
        STGMEDIUM medium{TYMED_HGLOBAL, nullptr, nullptr};
        EXPECT_EQ(object->SetData(&format, &medium, 0), E_FAIL);
        EXPECT_EQ(object->SetData(nullptr, nullptr, 1), E_INVALIDARG);
        EXPECT_EQ(object->SetData(&format, nullptr, 1), E_INVALIDARG);
        EXPECT_EQ(object->SetData(nullptr, &medium, 1), E_INVALIDARG);
        for (int i = 0; i < 5; ++i) {
            held.emplace_back(makeDropFiles({QByteArray("/tmp/f") + QByteArray::number(i)}));
            medium.hGlobal = held.back().get();
            EXPECT_EQ(object->SetData(&format, &medium, 1), S_OK) << i;
        }
        EXPECT_EQ(object->SetData(&format, &medium, 1), E_OUTOFMEMORY);

        // The first matching entry answers.
        STGMEDIUM copy{};
        ASSERT_EQ(object->GetData(&format, &copy), S_OK);
        std::vector<char> name(64);
        {
            const GlobalLockGuard lock(copy.hGlobal);
            DragQueryFileA(lock.data(), 0, name.data(), 64);
        }
        EXPECT_STREQ(name.data(), "/tmp/f0");
        ReleaseStgMedium(&copy);
    }
    EXPECT_EQ(liveGlobalBlocks(), blocks + 5);
}

TEST(DataObject, AHeldBlockFreedBehindItsBackIsRefusedNotRead) {
    HeldFileList held("/tmp/a.jpg");
    held.block.reset();
    FORMATETC format = hdropFormat();
    STGMEDIUM medium{};
    EXPECT_TRUE(FAILED(held.object->GetData(&format, &medium)));
    EXPECT_EQ(medium.hGlobal, nullptr);
}

TEST(DropTarget, NotesWhetherTheDragOffersAFileListAndAnswersCopyOnly) {
    DropWindow window;
    const auto target = ComPtr<IDropTarget>::adopt(TDropTarget::Create(&window));
    auto* concrete = static_cast<TDropTarget*>(target.get());
    HeldFileList files("/tmp/a.jpg");
    const auto nothing = ComPtr<IDataObject>::adopt(TDataObject::Create());

    DWORD effect = DROPEFFECT_COPY | DROPEFFECT_MOVE | DROPEFFECT_LINK;
    EXPECT_EQ(target->DragEnter(files.object.get(), MK_LBUTTON, {10, 10}, &effect), S_OK);
    EXPECT_TRUE(concrete->offersFileList());
    EXPECT_EQ(effect, DROPEFFECT_COPY);
    effect = DROPEFFECT_COPY | DROPEFFECT_MOVE;
    EXPECT_EQ(target->DragOver(MK_LBUTTON, {11, 11}, &effect), S_OK);
    EXPECT_EQ(effect, DROPEFFECT_COPY);
    effect = DROPEFFECT_MOVE; // a move would make the source delete its file
    EXPECT_EQ(target->DragOver(MK_LBUTTON, {11, 11}, &effect), S_OK);
    EXPECT_EQ(effect, DROPEFFECT_NONE);
    EXPECT_EQ(target->DragLeave(), S_OK);
    EXPECT_FALSE(concrete->offersFileList());

    effect = DROPEFFECT_COPY;
    EXPECT_EQ(target->DragEnter(nothing.get(), MK_LBUTTON, {10, 10}, &effect), S_OK);
    EXPECT_FALSE(concrete->offersFileList());
    EXPECT_EQ(effect, DROPEFFECT_NONE);
    EXPECT_EQ(window.messages, 0);
}

TEST(DropTarget, DropSendsTheLockedListToItsWindowAndReleasesTheMediumAfterwards) {
    DropWindow window;
    const auto target = ComPtr<IDropTarget>::adopt(TDropTarget::Create(&window));
    HeldFileList files("/srv/Fotos/bild1.JPG");
    const int blocks = liveGlobalBlocks();
    DWORD effect = DROPEFFECT_COPY;
    EXPECT_EQ(target->Drop(files.object.get(), 0, {0, 0}, &effect), S_OK);
    EXPECT_EQ(effect, DROPEFFECT_COPY);
    EXPECT_EQ(window.messages, 1);
    ASSERT_EQ(window.paths.size(), 1u);
    EXPECT_EQ(window.paths[0], "/srv/Fotos/bild1.JPG");
    EXPECT_EQ(window.lParam, 0);
    // The list was a live 541-byte block while the handler ran, and is gone now.
    ASSERT_TRUE(window.lockedBytes.has_value());
    EXPECT_EQ(*window.lockedBytes, 541u);
    EXPECT_EQ(liveGlobalBlocks(), blocks);
}

TEST(DropTarget, DropWithoutAFileListFailsWithTheDataObjectsCodeAndSendsNothing) {
    DropWindow window;
    const auto target = ComPtr<IDropTarget>::adopt(TDropTarget::Create(&window));
    const auto nothing = ComPtr<IDataObject>::adopt(TDataObject::Create());
    DWORD effect = DROPEFFECT_COPY;
    EXPECT_EQ(target->Drop(nothing.get(), 0, {0, 0}, &effect), DV_E_FORMATETC);
    EXPECT_EQ(effect, DROPEFFECT_NONE);

    HeldFileList files("/tmp/a.jpg");
    failGlobalAllocAfter(0);
    effect = DROPEFFECT_COPY;
    const HRESULT full = target->Drop(files.object.get(), 0, {0, 0}, &effect);
    failGlobalAllocAfter(-1);
    EXPECT_EQ(full, STG_E_MEDIUMFULL);
    EXPECT_EQ(effect, DROPEFFECT_NONE);
    EXPECT_EQ(window.messages, 0);
}

TEST(UrlDataObject, OffersTheDraggedFilesAsOneCompleteListOnlyWhenThereAreAny) {
    const auto files =
        ComPtr<IDataObject>::adopt(TUrlDataObject::Create({"/d/eins.jpg", "/d/zwei.jpg"}));
    FORMATETC format = hdropFormat();
    EXPECT_EQ(files->QueryGetData(&format), S_OK);
    STGMEDIUM medium{};
    ASSERT_EQ(files->GetData(&format, &medium), S_OK);
    EXPECT_EQ(fileCount(medium.hGlobal), 2u);
    ReleaseStgMedium(&medium);
    FORMATETC stream = hdropFormat();
    stream.tymed = TYMED_ISTREAM;
    EXPECT_EQ(files->GetData(&stream, &medium), DV_E_TYMED);
    ComPtr<IEnumFORMATETC> listed;
    ASSERT_EQ(files->EnumFormatEtc(DATADIR_GET, listed.put()), S_OK);
    FORMATETC entries[2]{};
    ULONG fetched = 0;
    EXPECT_EQ(listed->Next(2, entries, &fetched), S_OK);
    EXPECT_EQ(fetched, 1u);

    const auto none = ComPtr<IDataObject>::adopt(TUrlDataObject::Create({}));
    EXPECT_EQ(none->QueryGetData(&format), DV_E_FORMATETC);
    EXPECT_EQ(none->GetData(&format, &medium), DV_E_FORMATETC);
}

TEST(WindowMessage, SendReturnsTheHandlersResultAndZeroWithoutHandlerOrWindow) {
    class Answering : public QWidget {
    protected:
        bool event(QEvent* event) override {
            if (event->type() == WindowMessageEvent::eventType()) {
                auto* message = static_cast<WindowMessageEvent*>(event);
                message->setResult(static_cast<LRESULT>(message->wParam()) + message->lParam());
                return true;
            }
            return QWidget::event(event);
        }
    } answering;
    QWidget silent;
    EXPECT_EQ(SendMessage(&answering, WM_USER + 7, 40, 2), 42);
    EXPECT_EQ(SendMessage(&silent, WM_USER + 7, 40, 2), 0);
    EXPECT_EQ(SendMessage(nullptr, WM_USER + 7, 40, 2), 0);
}
