// The cache thread: the job list, the worker loop and the process-wide instance.

#include "logmodel/log_cache_thread.h"

#include <algorithm>
#include <array>

#include "logmodel/log.h"
#include "log_cache_read.h"

using korv::platform::Event;

namespace {

// The process-wide instance and its users (list controls).
std::mutex g_instanceLock;                          // guards the two below
int g_nUsers = 0;                                   // live CLogCacheThread::User objects
std::unique_ptr<CLogCacheThread> g_instance;        // exists while g_nUsers > 0

}  // namespace

CLogCacheThread::User::User() {
  std::lock_guard<std::mutex> guard(g_instanceLock);
  if (g_nUsers++ == 0) {
    g_instance = std::make_unique<CLogCacheThread>();
    g_instance->Start();
  }
  m_pThread = g_instance.get();
}

CLogCacheThread::User::~User() {
  std::unique_ptr<CLogCacheThread> last;
  {
    std::lock_guard<std::mutex> guard(g_instanceLock);
    if (--g_nUsers == 0) last = std::move(g_instance);
  }
  // Destroyed outside g_instanceLock: Stop waits for the worker.
  last.reset();
}

CLogCacheThread* CLogCacheThread::Instance() {
  std::lock_guard<std::mutex> guard(g_instanceLock);
  return g_instance.get();
}

CLogCacheThread::CLogCacheThread() = default;

CLogCacheThread::~CLogCacheThread() { Stop(); }

bool CLogCacheThread::Start() {
  if (m_worker.joinable()) return true;
  m_evWork.reset();
  m_evQuit.reset();
  {
    std::lock_guard<std::mutex> guard(m_lock);
    m_bBusy = false;
    m_bAbort = false;
    // Jobs queued before the start are not left waiting for the next Queue.
    if (!m_jobs.empty()) m_evWork.set();
  }
  m_worker = std::thread([this] { WorkerLoop(); });
  return m_worker.joinable();
}

void CLogCacheThread::Stop() {
  if (!m_worker.joinable()) return;
  {
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_bBusy) m_bAbort = true;
  }
  m_evQuit.set();
  m_worker.join();
  m_evWork.reset();
  m_evQuit.reset();
  std::lock_guard<std::mutex> guard(m_lock);
  m_jobs.clear();
  m_bBusy = false;
  m_bAbort = false;
}

void CLogCacheThread::Queue(CLog* log, ILogNotifySink* window, int first, int last) {
  if (!log) return;
  // The records are looked up here, on the thread that owns the rows, so that the worker
  // never reads rows that Apply or a filter change may be replacing.
  std::vector<std::int32_t> keys;
  std::vector<std::u16string> files;
  const bool directory = log->IsDirectory();
  if (first <= last && first < log->GetVisibleCount() && last >= 0) {
    const int from = std::max(first, 0);
    const int to = std::min(last, log->GetVisibleCount() - 1);
    keys.reserve(std::size_t(to - from + 1));
    const std::int32_t fixed = log->GetFixedRecord();
    for (int p = from; p <= to; ++p) {
      const REC_INFO_BASE* row = log->GetRow(p);
      keys.push_back(!row ? -1 : fixed != -1 ? fixed : row->record);
      if (directory) files.push_back(log->GetDirectoryRowFile(p));
    }
  }

  std::lock_guard<std::mutex> guard(m_lock);
  auto job = std::find_if(m_jobs.begin(), m_jobs.end(), [&](const Job& j) { return j.job.log == log; });
  bool head = false;
  if (job != m_jobs.end()) {
    if (job->job.first == first && job->job.last == last && job->keys == keys &&
        job->files == files)
      return;
    job->job = CACHE_JOB{log, window, first, last};
    job->keys = std::move(keys);
    job->files = std::move(files);
    head = job == m_jobs.begin();
  } else {
    m_jobs.push_back(Job{CACHE_JOB{log, window, first, last}, std::move(keys), std::move(files)});
    job = std::prev(m_jobs.end());
  }

  // Room for the whole range, so that decoding it does not overwrite its own records.
  // Positions without a row need no slot.
  const int needed = int(job->keys.size());
  {
    CLogCache& cache = log->GetCache();
    std::lock_guard<std::mutex> cacheGuard(cache.Lock());
    if (cache.SlotCount() < needed) cache.Resize(needed);
  }

  if (!m_bBusy) {
    m_evWork.set();
  } else if (head) {
    m_bAbort = true;
    m_evWork.set();
  }
}

void CLogCacheThread::Cancel(const CLog* log) {
  std::unique_lock<std::mutex> guard(m_lock);
  m_jobs.remove_if([&](const Job& j) { return j.job.log == log; });
  if (m_pWorking != log) return;
  m_bAbort = true;
  // The abandoned round must not strand the jobs of other logs.
  m_evWork.set();
  m_idleLog.wait(guard, [&] { return m_pWorking != log; });
}

bool CLogCacheThread::IsBusy() const {
  std::lock_guard<std::mutex> guard(m_lock);
  return m_bBusy;
}

std::vector<CLogCacheThread::CACHE_JOB> CLogCacheThread::Jobs() const {
  std::lock_guard<std::mutex> guard(m_lock);
  std::vector<CACHE_JOB> jobs;
  for (const Job& j : m_jobs) jobs.push_back(j.job);
  return jobs;
}

void CLogCacheThread::WorkerLoop() {
  const std::array<Event*, 2> events{&m_evQuit, &m_evWork};
  for (;;) {
    const std::size_t index = korv::platform::wait_any(events);
    if (index == 0) break;
    if (index != 1) continue;
    {
      std::lock_guard<std::mutex> guard(m_lock);
      m_bBusy = true;
      m_bAbort = false;
      m_evWork.reset();
    }
    ProcessJobs();
    std::lock_guard<std::mutex> guard(m_lock);
    m_bBusy = false;
    m_bAbort = false;
  }
}

void CLogCacheThread::ProcessJobs() {
  for (;;) {
    Job job;
    {
      std::lock_guard<std::mutex> guard(m_lock);
      if (m_jobs.empty()) {
        // Cleared together with the empty test: a job queued from now on sees the worker
        // idle and signals the work event, so it cannot be left waiting.
        m_bBusy = false;
        return;
      }
      job = m_jobs.front();
      m_pWorking = job.job.log;
    }

    const bool done = ProcessJob(job);
    {
      std::lock_guard<std::mutex> guard(m_lock);
      if (done && !m_bAbort && !m_jobs.empty() && m_jobs.front().job.log == job.job.log)
        m_jobs.pop_front();
    }
    if (done && job.job.window) job.job.window->PostLogNotify(LOG_NOTIFY_CACHED);

    std::lock_guard<std::mutex> guard(m_lock);
    m_pWorking = nullptr;
    m_idleLog.notify_all();
    if (!done) return;
  }
}

bool CLogCacheThread::ProcessJob(const Job& job) {
  CLog& log = *job.job.log;
  CLogCache& cache = log.GetCache();
  // This thread's own buffers; the log's buffers belong to the other paths.
  std::vector<std::uint8_t> buffer;
  std::vector<std::uint8_t> block;
  for (std::size_t i = 0; i < job.keys.size(); ++i) {
    const std::int32_t key = job.keys[i];
    if (key >= 0) {
      bool cached;
      {
        std::lock_guard<std::mutex> guard(cache.Lock());
        cached = cache.Find(key) != nullptr;
      }
      if (!cached) {
        // Read and decoded with no lock held but the file's and the decoding lock.
        block.clear();
        const bool ok = i < job.files.size()
                            ? korv::ReadDirectoryRecordForCache(log, job.files[i], buffer, block)
                            : korv::ReadRecordForCache(log, key, buffer, block);
        std::lock_guard<std::mutex> guard(cache.Lock());
        // The cell path may have decoded it meanwhile; a key stays in one slot.
        if (!cache.Find(key)) {
          CLogCache::CACHE_REC& slot = cache.ClaimNext();
          if (ok) {
            slot.decoded.swap(block);
            slot.key = key;
          }
        }
      }
    }
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_bAbort) return false;
  }
  return true;
}
