// The switch below jumps between stacks with _longjmp, which the fortified
// longjmp would take for a jump into a dead frame.
#undef _FORTIFY_SOURCE

#include "CFiber.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
#define VELKOR_FIBER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VELKOR_FIBER_ASAN 1
#endif
#endif
#if defined(__SANITIZE_THREAD__)
#define VELKOR_FIBER_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define VELKOR_FIBER_TSAN 1
#endif
#endif

// Plain builds switch with _setjmp / _longjmp once a fiber runs: unlike
// swapcontext they leave the signal mask alone, two system calls less for
// every switch. The sanitizers' builds keep swapcontext, the switch their
// fiber hooks are known to work with.
#if !defined(VELKOR_FIBER_ASAN) && !defined(VELKOR_FIBER_TSAN)
#define VELKOR_FIBER_JMP 1
#endif

#ifdef VELKOR_FIBER_ASAN
#include <sanitizer/asan_interface.h>
#include <sanitizer/common_interface_defs.h>
#endif
#ifdef VELKOR_FIBER_TSAN
#include <sanitizer/tsan_interface.h>
#endif

namespace {

thread_local CFiber* t_pCurrent = nullptr;

std::size_t PageBytes()
{
    static const std::size_t nPage = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    return nPage;
}

// Stacks of ended fibers, kept by the loop thread that made and ended them
// (a fiber is made and destroyed on its loop's thread) for its next fibers:
// an unmap costs every core a TLB flush, and a fresh stack its page faults.
class CStackPool {
public:
    static constexpr std::size_t kKept = 256;

    ~CStackPool()
    {
        for (void* pMapping : m_vecFree)
            munmap(pMapping, MappingBytes());
    }

    static std::size_t MappingBytes() { return CFiber::kStackBytes + PageBytes(); }

    // AddressSanitizer's marks of the frames an ended fiber left (its entry
    // never returns) must not stay on the memory for its next user.
    static void Unpoison(void* pMapping)
    {
#ifdef VELKOR_FIBER_ASAN
        __asan_unpoison_memory_region(static_cast<char*>(pMapping) + PageBytes(), CFiber::kStackBytes);
#else
        (void)pMapping;
#endif
    }

    void* Take()
    {
        if (!m_vecFree.empty()) {
            void* pMapping = m_vecFree.back();
            m_vecFree.pop_back();
            return pMapping;
        }
        // The lowest page stays unmapped for access: a stack overflow faults
        // there instead of writing over another fiber's stack.
        void* pMapping = mmap(nullptr, MappingBytes(), PROT_READ | PROT_WRITE,
                              MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE | MAP_STACK, -1, 0);
        if (pMapping == MAP_FAILED)
            std::abort();  // as std::thread would fail to start: no way to run the body
        mprotect(pMapping, PageBytes(), PROT_NONE);
        return pMapping;
    }

    void Give(void* pMapping)
    {
        Unpoison(pMapping);
        if (m_vecFree.size() < kKept)
            m_vecFree.push_back(pMapping);
        else
            munmap(pMapping, MappingBytes());
    }

private:
    std::vector<void*> m_vecFree;
};

thread_local CStackPool t_stacks;

}  // namespace

CFiber::CFiber(CFiberLoop& loop, std::uint64_t nId, std::function<void()> body)
    : m_loop(loop), m_nId(nId), m_body(std::move(body))
{
    m_nMappingBytes = CStackPool::MappingBytes();
    m_pMapping = t_stacks.Take();
    getcontext(&m_context);
    m_context.uc_stack.ss_sp = static_cast<char*>(m_pMapping) + PageBytes();
    m_context.uc_stack.ss_size = kStackBytes;
    m_context.uc_link = nullptr;
    makecontext(&m_context, &CFiber::Entry, 0);
#ifdef VELKOR_FIBER_TSAN
    m_pTsanFiber = __tsan_create_fiber(0);
#endif
}

CFiber::~CFiber()
{
#ifdef VELKOR_FIBER_TSAN
    if (m_pTsanFiber)
        __tsan_destroy_fiber(m_pTsanFiber);
#endif
    t_stacks.Give(m_pMapping);
}

CFiber* CFiber::Current() { return t_pCurrent; }

void CFiber::Entry()
{
    CFiber* pSelf = t_pCurrent;
#ifdef VELKOR_FIBER_ASAN
    __sanitizer_finish_switch_fiber(nullptr, &pSelf->m_pLoopStackBottom, &pSelf->m_nLoopStackBytes);
#endif
    pSelf->m_body();
    pSelf->m_body = nullptr;
    pSelf->m_bDone = true;
    // The last switch: the stack is left for good.
    t_pCurrent = nullptr;
#ifdef VELKOR_FIBER_ASAN
    __sanitizer_start_switch_fiber(nullptr, pSelf->m_pLoopStackBottom, pSelf->m_nLoopStackBytes);
#endif
#ifdef VELKOR_FIBER_TSAN
    __tsan_switch_to_fiber(pSelf->m_pTsanLoop, 0);
#endif
#ifdef VELKOR_FIBER_JMP
    _longjmp(pSelf->m_loopJump, 1);
#else
    setcontext(&pSelf->m_loopContext);
#endif
    std::abort();
}

void CFiber::Resume()
{
    const int nLoopErrno = errno;
    t_pCurrent = this;
#ifdef VELKOR_FIBER_TSAN
    m_pTsanLoop = __tsan_get_current_fiber();
    __tsan_switch_to_fiber(m_pTsanFiber, 0);
#endif
#ifdef VELKOR_FIBER_ASAN
    void* pLoopFakeStack = nullptr;
    __sanitizer_start_switch_fiber(&pLoopFakeStack, m_context.uc_stack.ss_sp, m_context.uc_stack.ss_size);
#endif
#ifdef VELKOR_FIBER_JMP
    if (_setjmp(m_loopJump) == 0) {
        if (!m_bStarted) {
            m_bStarted = true;
            setcontext(&m_context);  // the first entry, onto the fresh stack
        }
        _longjmp(m_fiberJump, 1);
    }
#else
    swapcontext(&m_loopContext, &m_context);
#endif
#ifdef VELKOR_FIBER_ASAN
    __sanitizer_finish_switch_fiber(pLoopFakeStack, nullptr, nullptr);
#endif
    t_pCurrent = nullptr;
    errno = nLoopErrno;
}

void CFiber::Suspend()
{
    m_nSavedErrno = errno;
#ifdef VELKOR_FIBER_TSAN
    __tsan_switch_to_fiber(m_pTsanLoop, 0);
#endif
#ifdef VELKOR_FIBER_ASAN
    __sanitizer_start_switch_fiber(&m_pFakeStack, m_pLoopStackBottom, m_nLoopStackBytes);
#endif
#ifdef VELKOR_FIBER_JMP
    if (_setjmp(m_fiberJump) == 0)
        _longjmp(m_loopJump, 1);
#else
    swapcontext(&m_context, &m_loopContext);
#endif
#ifdef VELKOR_FIBER_ASAN
    __sanitizer_finish_switch_fiber(m_pFakeStack, &m_pLoopStackBottom, &m_nLoopStackBytes);
#endif
    errno = m_nSavedErrno;
}

std::size_t CFiber::StackTouchedBytes() const
{
    const std::size_t nPage = PageBytes();
    std::vector<unsigned char> vecResident(kStackBytes / nPage);
    if (mincore(static_cast<char*>(m_pMapping) + nPage, kStackBytes, vecResident.data()) != 0)
        return 0;
    // The stack grows down: the lowest resident page marks the deepest use.
    for (std::size_t i = 0; i < vecResident.size(); ++i)
        if (vecResident[i] & 1)
            return (vecResident.size() - i) * nPage;
    return 0;
}
