// Internal to the engine's data access. Tables read whole, answering
// look-ups by key as the database's own comparison of codes would.
#pragma once

#include <QHash>
#include <QString>
#include <optional>
#include <utility>

namespace margivo {

// The key of a look-up: its arguments, up to three texts (unused ones
// empty). Copying the texts only shares them: building a key allocates
// nothing.
struct TChave {
  TChave() = default;
  TChave(QString a_, QString b_ = {}, QString c_ = {})
      : a(std::move(a_)), b(std::move(b_)), c(std::move(c_)) {}
  QString a, b, c;
  friend bool operator==(const TChave&, const TChave&) = default;
};
inline size_t qHash(const TChave& k, size_t seed = 0) noexcept {
  return qHashMulti(seed, k.a, k.b, k.c);
}

// The database compares codes ignoring trailing blanks and, under a
// case-insensitive collation, letter case. These give a code as it may be
// compared.
// `texto` without its trailing blanks (shared, not copied, when it has none).
QString semBrancosFinais(const QString& texto);
TChave semBrancosFinais(const TChave& chave);
// Whether every character is plain ASCII (a collation may compare the others
// loosely, accents included).
bool ascii(const QString& texto);
bool ascii(const TChave& chave);
// Each part without trailing blanks, in upper case: two codes the database
// may take as equal have the same canonical key.
TChave canonica(const TChave& chave);

// How a table read whole answers a key.
enum class TCobertura {
  Linha,     // the key's one row
  SemLinha,  // no row can match the key: the look-up's answer is its default
  Fora,      // the rows read cannot tell: the look-up must run
};

// The rows of a small table (or the branch's rows of one), read in one
// statement, answering look-ups by key exactly as the look-up's statement
// would in the same snapshot.
//
// A row answers a key only when no other row of the table could match that
// key too: rows are grouped by their canonical code, only a group of one row
// answers, and only the key written as that row's own code (without its
// trailing blanks). A key that matches no group has no row, provided every
// row that could match it was read (`empresa`: only that branch's rows were
// read) and the key is plain ASCII. A table with a code outside ASCII is not
// used at all.
template <typename V>
class TTabelaCarregada {
 public:
  // `empresa`: the rows read are those of this branch only (the first part
  // of each key, compared as the database does); none: every row.
  explicit TTabelaCarregada(std::optional<QString> empresa = std::nullopt)
      : empresa_(std::move(empresa)) {}

  // One row read, answering its key alone. A row with a null key column
  // must not be passed.
  void adiciona(const TChave& chave, V valor);
  // The answer of the rows of `chave` together (e.g. the movements of a
  // grade), to add a row to: rows of one key spelled two ways (case,
  // trailing blanks) leave it without answer.
  V& acumula(const TChave& chave);
  // After the last row.
  void conclui();

  // REQUIRES: conclui() was called.
  TCobertura procura(const TChave& chave, const V*& valor) const;

 private:
  struct Grupo {
    TChave chave;  // the row's own code, without trailing blanks
    V valor;
    int linhas = 0;
  };
  std::optional<QString> empresa_;
  bool ascii_ = true;
  QHash<TChave, Grupo> grupos_;  // by canonical code
  QHash<TChave, V> unicas_;      // by the row's own code, groups of one row
};

template <typename V>
void TTabelaCarregada<V>::adiciona(const TChave& chave, V valor) {
  if (!ascii(chave)) ascii_ = false;
  Grupo& grupo = grupos_[canonica(chave)];
  if (++grupo.linhas == 1) {
    grupo.chave = semBrancosFinais(chave);
    grupo.valor = std::move(valor);
  }
}

template <typename V>
V& TTabelaCarregada<V>::acumula(const TChave& chave) {
  if (!ascii(chave)) ascii_ = false;
  Grupo& grupo = grupos_[canonica(chave)];
  TChave propria = semBrancosFinais(chave);
  if (grupo.linhas == 0) {
    grupo.chave = std::move(propria);
    grupo.linhas = 1;
  } else if (grupo.chave != propria) {
    grupo.linhas = 2;
  }
  return grupo.valor;
}

template <typename V>
void TTabelaCarregada<V>::conclui() {
  if (!ascii_) {
    grupos_.clear();
    return;
  }
  for (auto it = grupos_.begin(); it != grupos_.end(); ++it) {
    if (it->linhas == 1) {
      unicas_.insert(it->chave, std::move(it->valor));
      it->valor = V{};
    }
  }
}

template <typename V>
TCobertura TTabelaCarregada<V>::procura(const TChave& chave, const V*& valor) const {
  if (!ascii_) return TCobertura::Fora;
  if (const auto it = unicas_.constFind(chave); it != unicas_.constEnd()) {
    valor = &*it;
    return TCobertura::Linha;
  }
  // Rare from here on: the canonical key is built only for a key without
  // its own row.
  if (empresa_ && chave.a != semBrancosFinais(*empresa_)) return TCobertura::Fora;
  if (!ascii(chave) || grupos_.contains(canonica(chave))) return TCobertura::Fora;
  return TCobertura::SemLinha;
}

}  // namespace margivo
