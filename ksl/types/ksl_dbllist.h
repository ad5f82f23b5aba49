// CKSLDblList: the library's doubly linked list with a built-in cursor.
//
// A list holds nodes of one node type, which also fixes the value type:
//
//     CKSLDblList<CKSLObjNode<CKSLWCharString>>   strings (embedded copies)
//     CKSLDblList<CKSLStdNode<unsigned long>>     plain values
//     CKSLDblList<CKSLPtrNode<CKSLSomething>>     values kept in owned heap copies
//     CKSLDblList<CKSLOwnedPtrNode<CKSLBase>>     owned pointers to polymorphic objects
//
// Every node carries a signed 32-bit key chosen by the code that adds it (findKey looks for it).
// The list owns its nodes and a node owns its payload: clear() and the destructor free them all.
//
// Walking a list with the cursor:
//
//     if (list.moveFirst()) {
//         do {
//             list.getCurrent(value);
//         } while (list.moveNext());
//     }
//
// Failures follow the library's catching convention: operations answer false and log; nothing
// is thrown to the caller.
#pragma once

#include <windows.h>

#include <new>
#include <type_traits>
#include <utility>

#include "ksl_catch.h"
#include "ksl_exceptions.h"

template <class TNode>
class CKSLDblList;

namespace ksl_detail {

// Payloads need not support every comparison (a registry value entry only knows equality):
// a comparison the type lacks answers false.
template <class A, class B, class = void>
struct HasEqual : std::false_type {};
template <class A, class B>
struct HasEqual<A, B, std::void_t<decltype(std::declval<const A&>() == std::declval<const B&>())>>
    : std::true_type {};
template <class A, class B, class = void>
struct HasLess : std::false_type {};
template <class A, class B>
struct HasLess<A, B, std::void_t<decltype(std::declval<const A&>() < std::declval<const B&>())>> : std::true_type {};
template <class A, class B, class = void>
struct HasGreater : std::false_type {};
template <class A, class B>
struct HasGreater<A, B, std::void_t<decltype(std::declval<const A&>() > std::declval<const B&>())>>
    : std::true_type {};

template <class T>
bool payloadEqual(const T& a, const T& b)
{
    if constexpr (HasEqual<T, T>::value)
        return static_cast<bool>(a == b);
    else
        return false;
}
template <class T>
bool payloadLess(const T& a, const T& b)
{
    if constexpr (HasLess<T, T>::value)
        return static_cast<bool>(a < b);
    else
        return false;
}
template <class T>
bool payloadGreater(const T& a, const T& b)
{
    if constexpr (HasGreater<T, T>::value)
        return static_cast<bool>(a > b);
    else
        return false;
}

// A polymorphic object is copied through its clone() (a new heap object of the same dynamic
// type); a plain copy would cut a derived object down to its base.
template <class T, class = void>
struct HasClone : std::false_type {};
template <class T>
struct HasClone<T, std::void_t<decltype(std::declval<const T&>().clone())>> : std::true_type {};

template <class T>
T* copyOnHeap(const T& source)
{
    if constexpr (HasClone<T>::value) {
        return source.clone();
    } else {
        static_assert(!std::is_polymorphic<T>::value || std::is_final<T>::value,
                      "copying a list of owned polymorphic objects needs T* T::clone() const");
        return new T(source);
    }
}

// Deletes an owned payload; a destructor that throws is reported, and the walk goes on.
template <class T>
void deleteOwned(T*& pPointer)
{
    try {
        delete pPointer;
    } catch (...) {
        kslLogMemFreeWarning(L"m_pPointer", KSL_HERE);
    }
    pPointer = nullptr;
}

} // namespace ksl_detail

// The abstract node: links, key and the payload operations every node type provides.
template <class T>
class CKSLNode {
public:
    using ValueType = T;

    virtual ~CKSLNode()
    {
        m_pNext = nullptr;
        m_pPrev = nullptr;
    }
    CKSLNode& operator=(const CKSLNode&) = delete;

    virtual bool operator==(const T& value) const = 0;
    virtual bool operator!=(const T& value) const = 0;
    virtual bool operator<(const T& value) const = 0;
    virtual bool operator>(const T& value) const = 0;
    // The object, the value or the pointed-to value (for an owned-pointer node: the pointer).
    virtual const T& getPayload() const = 0;
    virtual bool setPayload(const T& value) = 0;

    long getKey() const { return m_lKey; }
    void setKey(long lKey) { m_lKey = lKey; }
    CKSLNode* getNext() const { return m_pNext; }
    CKSLNode* getPrev() const { return m_pPrev; }

protected:
    explicit CKSLNode(long lKey) : m_lKey(lKey) {}
    // A copy gets the key but no links: it is about to join another list.
    CKSLNode(const CKSLNode& other) : m_lKey(other.m_lKey) {}

private:
    template <class TNode>
    friend class CKSLDblList;

    CKSLNode* m_pNext = nullptr;
    CKSLNode* m_pPrev = nullptr;
    long m_lKey;
};

namespace ksl_detail {

// A node that embeds its payload; CKSLObjNode and CKSLStdNode differ only in intent.
template <class T>
class CKSLValueNode : public CKSLNode<T> {
public:
    CKSLValueNode(const T& value, long lKey) : CKSLNode<T>(lKey), m_value(value) {}
    CKSLValueNode(const CKSLValueNode& other) = default;

    bool operator==(const T& value) const override { return payloadEqual(m_value, value); }
    bool operator!=(const T& value) const override { return !payloadEqual(m_value, value); }
    bool operator<(const T& value) const override { return payloadLess(m_value, value); }
    bool operator>(const T& value) const override { return payloadGreater(m_value, value); }
    const T& getPayload() const override { return m_value; }
    bool setPayload(const T& value) override
    {
        m_value = value;
        return true;
    }

private:
    T m_value;
};

} // namespace ksl_detail

// A node that embeds an object (a string, a registry value entry, ...), copied when added.
template <class T>
class CKSLObjNode : public ksl_detail::CKSLValueNode<T> {
public:
    using ksl_detail::CKSLValueNode<T>::CKSLValueNode;
};

// A node that embeds a plain value (an integer, an enumeration value).
template <class T>
class CKSLStdNode : public ksl_detail::CKSLValueNode<T> {
public:
    static_assert(std::is_trivially_copyable<T>::value, "CKSLStdNode holds plain values; use CKSLObjNode");
    using ksl_detail::CKSLValueNode<T>::CKSLValueNode;
};

// A node that owns a heap copy of the value; copying the node copies the value again, so two
// lists never share a payload.
template <class T>
class CKSLPtrNode : public CKSLNode<T> {
public:
    CKSLPtrNode(const T& value, long lKey) : CKSLNode<T>(lKey), m_pPointer(new T(value)) {}
    CKSLPtrNode(const CKSLPtrNode& other) : CKSLNode<T>(other), m_pPointer(new T(*other.m_pPointer)) {}
    ~CKSLPtrNode() override { ksl_detail::deleteOwned(m_pPointer); }

    bool operator==(const T& value) const override { return ksl_detail::payloadEqual(*m_pPointer, value); }
    bool operator!=(const T& value) const override { return !ksl_detail::payloadEqual(*m_pPointer, value); }
    bool operator<(const T& value) const override { return ksl_detail::payloadLess(*m_pPointer, value); }
    bool operator>(const T& value) const override { return ksl_detail::payloadGreater(*m_pPointer, value); }
    const T& getPayload() const override { return *m_pPointer; }
    bool setPayload(const T& value) override
    {
        *m_pPointer = value;
        return true;
    }

private:
    T* m_pPointer;
};

// A node that owns a pointer to a polymorphic object and deletes it through the virtual
// destructor. The value type is the pointer: add() hands the object over to the list (also when
// adding fails, the object is then deleted), getCurrent() lends it out (the list still owns it),
// setCurrent() replaces and deletes the old object. Copying the list copies each object through
// T::clone(). Equality compares the objects; there is no order.
template <class T>
class CKSLOwnedPtrNode : public CKSLNode<T*> {
public:
    CKSLOwnedPtrNode(T* const& pOwned, long lKey) : CKSLNode<T*>(lKey), m_pPointer(pOwned) {}
    CKSLOwnedPtrNode(const CKSLOwnedPtrNode& other)
        : CKSLNode<T*>(other),
          m_pPointer(other.m_pPointer != nullptr ? ksl_detail::copyOnHeap(*other.m_pPointer) : nullptr)
    {
    }
    ~CKSLOwnedPtrNode() override { ksl_detail::deleteOwned(m_pPointer); }

    bool operator==(T* const& pValue) const override
    {
        if (m_pPointer == nullptr || pValue == nullptr)
            return m_pPointer == pValue;
        return m_pPointer == pValue || ksl_detail::payloadEqual(*m_pPointer, *pValue);
    }
    bool operator!=(T* const& pValue) const override { return !(*this == pValue); }
    bool operator<(T* const&) const override { return false; }
    bool operator>(T* const&) const override { return false; }
    T* const& getPayload() const override { return m_pPointer; }
    bool setPayload(T* const& pValue) override
    {
        if (pValue != m_pPointer) {
            ksl_detail::deleteOwned(m_pPointer);
            m_pPointer = pValue;
        }
        return true;
    }

private:
    T* m_pPointer;
};

namespace ksl_detail {

// Node kinds whose payload lives on the heap: a copy of such a node allocates the payload anew.
template <class TNode>
struct IsPointerNode : std::false_type {};
template <class T>
struct IsPointerNode<CKSLPtrNode<T>> : std::true_type {};
template <class T>
struct IsPointerNode<CKSLOwnedPtrNode<T>> : std::true_type {};

// Node kinds that take over the object handed to add().
template <class TNode>
struct AdoptsValue : std::false_type {};
template <class T>
struct AdoptsValue<CKSLOwnedPtrNode<T>> : std::true_type {};

} // namespace ksl_detail

template <class TNode>
class CKSLDblList {
public:
    using NodeType = TNode;
    using ValueType = typename TNode::ValueType;
    using BaseNode = CKSLNode<ValueType>;

    CKSLDblList() noexcept = default;
    ~CKSLDblList() { clear(); }
    // Copies can fail; they are made with operator=, which reports the outcome.
    CKSLDblList(const CKSLDblList&) = delete;
    CKSLDblList(CKSLDblList&& other) noexcept
        : m_pFirst(std::exchange(other.m_pFirst, nullptr)),
          m_pLast(std::exchange(other.m_pLast, nullptr)),
          m_pCursor(std::exchange(other.m_pCursor, nullptr)),
          m_ulCount(std::exchange(other.m_ulCount, 0))
    {
    }

    // This list becomes a copy of the other, node by node with keys, pointer payloads copied
    // anew. The copy stops at the first failure (logged); false then.
    bool operator=(const CKSLDblList& other)
    {
        if (this == &other)
            return true;
        if (m_ulCount != 0)
            clear();
        const wchar_t* wcsArgName = ksl_detail::IsPointerNode<TNode>::value ? L"pNode" : L"pNewNode";
        return kslCatch(false, KSL_HERE, [&] {
            for (const BaseNode* p = other.m_pFirst; p != nullptr; p = p->getNext())
                append(makeNode(wcsArgName, static_cast<const TNode&>(*p)));
            return true;
        });
    }

    // Appends a node made from a copy of the value (for CKSLOwnedPtrNode: takes the object).
    // The cursor moves only when the list was empty.
    bool add(const ValueType& value, long lKey = 0)
    {
        const bool bAdded = kslCatch(false, KSL_HERE, [&] {
            append(makeNode(L"pNewNode", value, lKey));
            return true;
        });
        // An object handed over is not lost when the list cannot take it.
        if constexpr (ksl_detail::AdoptsValue<TNode>::value) {
            if (!bAdded)
                delete value;
        }
        return bAdded;
    }

    // Deletes every node; the list is empty afterwards whatever happened.
    bool clear()
    {
        const bool bCleared = kslCatch(false, KSL_HERE, [&] {
            for (BaseNode* pTempCursor = m_pFirst; pTempCursor != nullptr;) {
                BaseNode* pNext = pTempCursor->m_pNext;
                pTempCursor->m_pNext = nullptr;
                pTempCursor->m_pPrev = nullptr;
                deleteNode(static_cast<TNode*>(pTempCursor));
                pTempCursor = pNext;
            }
            return true;
        });
        m_pFirst = m_pLast = m_pCursor = nullptr;
        m_ulCount = 0;
        return bCleared;
    }

    // Cursor movement: false, cursor unchanged, when there is nowhere to go.
    bool moveFirst() { return moveTo(m_pFirst); }
    bool moveLast() { return moveTo(m_pLast); }
    bool moveNext() { return m_pCursor != nullptr && moveTo(m_pCursor->m_pNext); }
    bool movePrev() { return m_pCursor != nullptr && moveTo(m_pCursor->m_pPrev); }

    // A copy of the cursor node's payload; false with no cursor.
    bool getCurrent(ValueType& value) const
    {
        if (m_pCursor == nullptr)
            return false;
        return kslCatch(false, KSL_HERE, [&] {
            value = m_pCursor->getPayload();
            return true;
        });
    }

    bool getCurrentKey(long& lKey) const
    {
        if (m_pCursor == nullptr)
            return false;
        lKey = m_pCursor->getKey();
        return true;
    }

    // Replaces the cursor node's payload; false with no cursor.
    bool setCurrent(const ValueType& value)
    {
        if (m_pCursor == nullptr)
            return false;
        return kslCatch(false, KSL_HERE, [&] { return m_pCursor->setPayload(value); });
    }

    // Cursor to the first node with the key. Not found: false, and the cursor is left on the
    // last node (an empty list leaves it as it was).
    bool findKey(long lKey)
    {
        if (m_pFirst == nullptr)
            return false;
        m_pCursor = m_pFirst;
        while (m_pCursor->getKey() != lKey) {
            if (m_pCursor->m_pNext == nullptr)
                return false;
            m_pCursor = m_pCursor->m_pNext;
        }
        return true;
    }

    unsigned long getCount() const { return m_ulCount; }
    bool isEmpty() const { return m_ulCount == 0; }

    // Read access without moving the cursor: node->getNext() walks on, getPayload() reads.
    const BaseNode* getFirstNode() const { return m_pFirst; }
    const BaseNode* getLastNode() const { return m_pLast; }
    const BaseNode* getCurrentNode() const { return m_pCursor; }

private:
    template <class... TArgs>
    static TNode* makeNode(const wchar_t* wcsArgName, const TArgs&... args)
    {
        try {
            return new TNode(args...);
        } catch (std::bad_alloc&) {
            throw CKSLMemAllocException(wcsArgName, KSL_HERE);
        }
    }

    void append(TNode* pNode)
    {
        if (m_pLast == nullptr) {
            m_pFirst = m_pLast = m_pCursor = pNode;
        } else {
            pNode->m_pPrev = m_pLast;
            m_pLast->m_pNext = pNode;
            m_pLast = pNode;
        }
        pNode->m_pNext = nullptr;
        ++m_ulCount;
    }

    static void deleteNode(TNode* pTempCursor)
    {
        try {
            delete pTempCursor;
        } catch (...) {
            kslLogMemFreeWarning(L"pTempCursor", KSL_HERE);
        }
    }

    bool moveTo(BaseNode* pNode)
    {
        if (pNode == nullptr)
            return false;
        m_pCursor = pNode;
        return true;
    }

    BaseNode* m_pFirst = nullptr;
    BaseNode* m_pLast = nullptr;
    BaseNode* m_pCursor = nullptr;
    unsigned long m_ulCount = 0;
};
