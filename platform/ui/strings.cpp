#include "platform/ui/strings.h"

#include <algorithm>

#include "platform/ui/streams.h"

namespace plat {

int CompareText(const std::string& a, const std::string& b) {
  size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    int ca = static_cast<unsigned char>(a[i]), cb = static_cast<unsigned char>(b[i]);
    if (ca >= 'A' && ca <= 'Z') ca += 32;
    if (cb >= 'A' && cb <= 'Z') cb += 32;
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

// ---- TStrings ---------------------------------------------------------------------------------

void TStrings::IndexError(int index) {
  throw EStringListError("List index out of bounds (" + std::to_string(index) + ")");
}

int TStrings::CompareStrings(const std::string& a, const std::string& b) const {
  if (caseSensitive_) return a.compare(b) < 0 ? -1 : (a == b ? 0 : 1);
  return CompareText(a, b);
}

void TStrings::Put(int index, const std::string& s) {
  TObject* o = GetObject(index);
  BeginUpdate();
  Delete(index);
  InsertObject(index, s, o);
  EndUpdate();
}

int TStrings::Add(const std::string& s) {
  int i = Count();
  Insert(i, s);
  return i;
}

int TStrings::AddObject(const std::string& s, TObject* o) {
  int i = Add(s);
  PutObject(i, o);
  return i;
}

void TStrings::InsertObject(int index, const std::string& s, TObject* o) {
  Insert(index, s);
  PutObject(index, o);
}

void TStrings::AddStrings(const TStrings& other) {
  BeginUpdate();
  for (int i = 0; i < other.Count(); ++i) AddObject(other.Get(i), other.GetObject(i));
  EndUpdate();
}

int TStrings::IndexOf(const std::string& s) const {
  for (int i = 0; i < Count(); ++i)
    if (CompareStrings(Get(i), s) == 0) return i;
  return -1;
}

int TStrings::IndexOfObject(const TObject* o) const {
  for (int i = 0; i < Count(); ++i)
    if (GetObject(i) == o) return i;
  return -1;
}

void TStrings::Exchange(int a, int b) {
  std::string sa = Get(a), sb = Get(b);
  TObject *oa = GetObject(a), *ob = GetObject(b);
  BeginUpdate();
  Put(a, sb);
  PutObject(a, ob);
  Put(b, sa);
  PutObject(b, oa);
  EndUpdate();
}

void TStrings::Move(int from, int to) {
  if (from == to) return;
  std::string s = Get(from);
  TObject* o = GetObject(from);
  BeginUpdate();
  Delete(from);
  InsertObject(to, s, o);
  EndUpdate();
}

bool TStrings::Equals(const TStrings& other) const {
  if (Count() != other.Count()) return false;
  for (int i = 0; i < Count(); ++i)
    if (Get(i) != other.Get(i)) return false;
  return true;
}

std::string TStrings::Text() const {
  std::string r;
  for (int i = 0; i < Count(); ++i) {
    r += Get(i);
    r += "\r\n";
  }
  return r;
}

void TStrings::SetText(const std::string& text) {
  BeginUpdate();
  Clear();
  size_t i = 0;
  while (i < text.size()) {
    size_t j = text.find_first_of("\r\n", i);
    if (j == std::string::npos) {
      Add(text.substr(i));
      break;
    }
    Add(text.substr(i, j - i));
    i = j + 1;
    if (text[j] == '\r' && i < text.size() && text[i] == '\n') ++i;
  }
  EndUpdate();
}

std::string TStrings::DelimitedText(char delimiter, char quote) const {
  if (Count() == 1 && Get(0).empty()) return std::string(2, quote);
  std::string r;
  for (int i = 0; i < Count(); ++i) {
    std::string s = Get(i);
    bool needQuote = false;
    for (char c : s)
      if (static_cast<unsigned char>(c) <= ' ' || c == delimiter || c == quote) needQuote = true;
    if (needQuote) {
      std::string q(1, quote);
      for (char c : s) {
        q += c;
        if (c == quote) q += quote;
      }
      q += quote;
      s = q;
    }
    if (i) r += delimiter;
    r += s;
  }
  return r;
}

void TStrings::SetDelimitedText(const std::string& text, char delimiter, char quote) {
  auto blank = [](char c) { return c != 0 && static_cast<unsigned char>(c) <= ' '; };
  BeginUpdate();
  Clear();
  size_t i = 0;
  const size_t n = text.size();
  while (i < n && blank(text[i])) ++i;
  while (i < n) {
    std::string item;
    if (text[i] == quote) {
      ++i;
      while (i < n) {
        if (text[i] == quote) {
          if (i + 1 < n && text[i + 1] == quote) {
            item += quote;
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        item += text[i++];
      }
    } else {
      while (i < n && !blank(text[i]) && text[i] != delimiter) item += text[i++];
    }
    Add(item);
    while (i < n && blank(text[i])) ++i;
    if (i < n && text[i] == delimiter) {
      ++i;
      // A trailing delimiter stands for one more (empty) item.
      if (i == n) Add("");
      while (i < n && blank(text[i])) ++i;
    }
  }
  EndUpdate();
}

std::string TStrings::CommaText() const { return DelimitedText(',', '"'); }
void TStrings::SetCommaText(const std::string& text) { SetDelimitedText(text, ',', '"'); }

std::string TStrings::Names(int index) const {
  std::string s = Get(index);
  size_t p = s.find('=');
  return p == std::string::npos ? std::string() : s.substr(0, p);
}

std::string TStrings::ValueFromIndex(int index) const {
  std::string s = Get(index);
  size_t p = s.find('=');
  return p == std::string::npos ? std::string() : s.substr(p + 1);
}

int TStrings::IndexOfName(const std::string& name) const {
  for (int i = 0; i < Count(); ++i) {
    std::string s = Get(i);
    size_t p = s.find('=');
    if (p != std::string::npos && CompareStrings(s.substr(0, p), name) == 0) return i;
  }
  return -1;
}

std::string TStrings::Values(const std::string& name) const {
  int i = IndexOfName(name);
  return i < 0 ? std::string() : ValueFromIndex(i);
}

void TStrings::SetValue(const std::string& name, const std::string& value) {
  int i = IndexOfName(name);
  if (!value.empty()) {
    if (i < 0) i = Add("");
    Put(i, name + "=" + value);
  } else if (i >= 0) {
    Delete(i);
  }
}

void TStrings::LoadFromFile(const std::string& path) {
  TFileStream f(path, fmOpenRead | fmShareDenyWrite);
  LoadFromStream(f);
}

void TStrings::SaveToFile(const std::string& path) const {
  TFileStream f(path, fmCreate);
  SaveToStream(f);
}

void TStrings::LoadFromStream(TStream& s) {
  int64_t n = s.Size() - s.Position();
  std::string data(size_t(std::max<int64_t>(n, 0)), '\0');
  if (n > 0) data.resize(size_t(s.Read(data.data(), n)));
  SetText(data);
}

void TStrings::SaveToStream(TStream& s) const {
  std::string t = Text();
  s.WriteBuffer(t.data(), int64_t(t.size()));
}

void TStrings::BeginUpdate() {
  // The state change is announced while the count still reads 0, so the list's own
  // change events fire once for the whole batch.
  if (updateCount_ == 0) SetUpdateState(true);
  ++updateCount_;
}

void TStrings::EndUpdate() {
  if (updateCount_ <= 0) return;
  if (--updateCount_ == 0) SetUpdateState(false);
}

void TStrings::Assign(TPersistent* src) {
  if (auto* other = dynamic_cast<TStrings*>(src)) {
    if (other == this) return;
    BeginUpdate();
    Clear();
    AddStrings(*other);
    EndUpdate();
    return;
  }
  TPersistent::Assign(src);
}

// ---- TStringList ------------------------------------------------------------------------------

TStringList::TStringList(const TStringList& other) : TStrings() {
  items_ = other.items_;
  sorted_ = other.sorted_;
  duplicates_ = other.duplicates_;
  TStrings::SetCaseSensitive(other.CaseSensitive());
}

TStringList& TStringList::operator=(const TStringList& other) {
  if (this != &other) {
    Changing();
    items_ = other.items_;
    sorted_ = other.sorted_;
    duplicates_ = other.duplicates_;
    TStrings::SetCaseSensitive(other.CaseSensitive());
    Changed();
  }
  return *this;
}

void TStringList::CheckIndex(int index) const {
  if (index < 0 || index >= int(items_.size())) IndexError(index);
}

std::string TStringList::Get(int index) const {
  CheckIndex(index);
  return items_[size_t(index)].s;
}

void TStringList::Put(int index, const std::string& s) {
  if (sorted_) throw EStringListError("Operation not allowed on sorted list");
  CheckIndex(index);
  Changing();
  items_[size_t(index)].s = s;
  Changed();
}

TObject* TStringList::GetObject(int index) const {
  CheckIndex(index);
  return items_[size_t(index)].o;
}

void TStringList::PutObject(int index, TObject* o) {
  CheckIndex(index);
  Changing();
  items_[size_t(index)].o = o;
  Changed();
}

void TStringList::InsertItem(int index, const std::string& s, TObject* o) {
  Changing();
  items_.insert(items_.begin() + index, Item{s, o});
  Changed();
}

void TStringList::Insert(int index, const std::string& s) {
  if (sorted_) throw EStringListError("Operation not allowed on sorted list");
  if (index < 0 || index > int(items_.size())) IndexError(index);
  InsertItem(index, s, nullptr);
}

int TStringList::Add(const std::string& s) {
  if (!sorted_) {
    InsertItem(int(items_.size()), s, nullptr);
    return int(items_.size()) - 1;
  }
  int index;
  if (Find(s, index)) {
    switch (duplicates_) {
      case dupIgnore: return index;
      case dupError: throw EStringListError("String list does not allow duplicates");
      case dupAccept: break;
    }
  }
  InsertItem(index, s, nullptr);
  return index;
}

void TStringList::Delete(int index) {
  CheckIndex(index);
  Changing();
  items_.erase(items_.begin() + index);
  Changed();
}

void TStringList::Clear() {
  if (items_.empty()) return;
  Changing();
  items_.clear();
  Changed();
}

int TStringList::IndexOf(const std::string& s) const {
  if (!sorted_) return TStrings::IndexOf(s);
  int index;
  return Find(s, index) ? index : -1;
}

void TStringList::Exchange(int a, int b) {
  CheckIndex(a);
  CheckIndex(b);
  Changing();
  std::swap(items_[size_t(a)], items_[size_t(b)]);
  Changed();
}

bool TStringList::Find(const std::string& s, int& index) const {
  int lo = 0, hi = int(items_.size()) - 1;
  bool found = false;
  while (lo <= hi) {
    int mid = (lo + hi) / 2;
    int c = CompareStrings(items_[size_t(mid)].s, s);
    if (c < 0) {
      lo = mid + 1;
    } else {
      hi = mid - 1;
      if (c == 0) {
        found = true;
        // With duplicates accepted the first equal one is reported.
        if (duplicates_ != dupAccept) lo = mid;
      }
    }
  }
  index = lo;
  return found;
}

void TStringList::Sort() {
  Changing();
  std::stable_sort(items_.begin(), items_.end(),
                   [this](const Item& a, const Item& b) { return CompareStrings(a.s, b.s) < 0; });
  Changed();
}

void TStringList::CustomSort(const std::function<int(TStringList&, int, int)>& compare) {
  if (items_.size() < 2) return;
  // The comparer sees indices into the list as it stands, so sort a permutation first.
  std::vector<int> order(items_.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = int(i);
  std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return compare(*this, a, b) < 0; });
  std::vector<Item> sorted;
  sorted.reserve(items_.size());
  for (int i : order) sorted.push_back(items_[size_t(i)]);
  Changing();
  items_.swap(sorted);
  Changed();
}

void TStringList::SetSorted(bool v) {
  if (sorted_ == v) return;
  if (v) Sort();
  sorted_ = v;
}

void TStringList::SetCaseSensitive(bool v) {
  if (v == CaseSensitive()) return;
  TStrings::SetCaseSensitive(v);
  if (sorted_) Sort();
}

void TStringList::SetUpdateState(bool updating) {
  if (updating) Changing();
  else Changed();
}

void TStringList::Changing() {
  if (UpdateCount() == 0 && OnChanging) OnChanging(this);
}

void TStringList::Changed() {
  if (UpdateCount() == 0 && OnChange) OnChange(this);
}

}  // namespace plat
