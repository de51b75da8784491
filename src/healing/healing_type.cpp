// The HealingConfig Python class and configure_healing.
#include <atomic>
#include <memory>

#include "healing/healing_config.h"
#include "lib/arguments.h"
#include "lib/methods.h"
#include "lib/once.h"
#include "lib/py_ref.h"
#include "lib/python_errors.h"
#include "lib/types.h"

namespace pelorix::binding {
namespace {

struct HealingConfigObject {
  PyObject ob_base;
  healing::HealingConfig* config;
};

healing::HealingConfig& config_of(PyObject* self) {
  return *reinterpret_cast<HealingConfigObject*>(self)->config;
}

constexpr const char* kNewNames[] = {"strategies", "max_heal_time_ms", "cache_healed"};
constexpr Signature kNew{"HealingConfig.__new__", kNewNames, 0};

PyObject* create(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  PyObject* slots[3];
  if (!read_arguments(kNew, args, kwargs, slots)) return nullptr;
  auto config = std::make_unique<healing::HealingConfig>();
  if (given(slots[0])) {
    auto strategies = to_string_list("strategies", slots[0]);
    if (!strategies) return nullptr;
    config->strategies = std::move(*strategies);
  } else {
    config->strategies = healing::default_strategies();
  }
  if (slots[1] != nullptr) {
    auto max_heal_time_ms = to_u64("max_heal_time_ms", slots[1]);
    if (!max_heal_time_ms) return nullptr;
    config->max_heal_time_ms = *max_heal_time_ms;
  }
  if (slots[2] != nullptr) {
    auto cache_healed = to_bool("cache_healed", slots[2]);
    if (!cache_healed) return nullptr;
    config->cache_healed = *cache_healed;
  }
  auto alloc = reinterpret_cast<allocfunc>(PyType_GetSlot(type, Py_tp_alloc));
  PyObject* object = alloc(type, 0);
  if (object != nullptr) reinterpret_cast<HealingConfigObject*>(object)->config = config.release();
  return object;
}

void dealloc(PyObject* self) {
  PyTypeObject* type = Py_TYPE(self);
  delete reinterpret_cast<HealingConfigObject*>(self)->config;
  reinterpret_cast<freefunc>(PyType_GetSlot(type, Py_tp_free))(self);
  Py_DECREF(type);
}

bool refuse_delete(PyObject* value) {
  if (value != nullptr) return false;
  PyErr_SetString(PyExc_AttributeError, "property has no deleter");
  return true;
}

PyObject* get_strategies(PyObject* self, void*) {
  const auto& strategies = config_of(self).strategies;
  PyRef list = PyRef::steal(PyList_New(static_cast<Py_ssize_t>(strategies.size())));
  if (!list) return nullptr;
  for (std::size_t i = 0; i < strategies.size(); ++i) {
    PyObject* item = to_python_str(strategies[i]);
    if (item == nullptr || PyList_SetItem(list.get(), static_cast<Py_ssize_t>(i), item) < 0)
      return nullptr;
  }
  return list.release();
}

int set_strategies(PyObject* self, PyObject* value, void*) {
  if (refuse_delete(value)) return -1;
  auto strategies = to_string_list("strategies", value);
  if (!strategies) return -1;
  config_of(self).strategies = std::move(*strategies);
  return 0;
}

PyObject* get_max_heal_time_ms(PyObject* self, void*) {
  return PyLong_FromUnsignedLongLong(config_of(self).max_heal_time_ms);
}

int set_max_heal_time_ms(PyObject* self, PyObject* value, void*) {
  if (refuse_delete(value)) return -1;
  auto max_heal_time_ms = to_u64("max_heal_time_ms", value);
  if (!max_heal_time_ms) return -1;
  config_of(self).max_heal_time_ms = *max_heal_time_ms;
  return 0;
}

PyObject* get_cache_healed(PyObject* self, void*) {
  return PyBool_FromLong(config_of(self).cache_healed);
}

int set_cache_healed(PyObject* self, PyObject* value, void*) {
  if (refuse_delete(value)) return -1;
  auto cache_healed = to_bool("cache_healed", value);
  if (!cache_healed) return -1;
  config_of(self).cache_healed = *cache_healed;
  return 0;
}

PyGetSetDef properties[] = {
    {"strategies", guarded<get_strategies>, guarded<set_strategies>,
     "Ordered list of strategies to try", nullptr},
    {"max_heal_time_ms", guarded<get_max_heal_time_ms>, guarded<set_max_heal_time_ms>,
     "Maximum time budget for healing (ms)", nullptr},
    {"cache_healed", guarded<get_cache_healed>, guarded<set_cache_healed>,
     "Whether to cache successful heals", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot slots[] = {
    {Py_tp_doc, const_cast<char*>("HealingConfig(strategies=None, max_heal_time_ms=100, "
                                  "cache_healed=True)\n--\n\nHealing configuration")},
    {Py_tp_new, as_slot(guarded<create>)},
    {Py_tp_dealloc, as_slot(dealloc)},
    {Py_tp_getset, properties},
    {0, nullptr},
};

PyType_Spec type_spec = {
    "builtins.HealingConfig", sizeof(HealingConfigObject), 0, Py_TPFLAGS_DEFAULT, slots,
};

std::atomic<PyObject*> type_cell{nullptr};

}  // namespace

PyTypeObject* healing_config_type() {
  return reinterpret_cast<PyTypeObject*>(
      once(type_cell, [] { return PyType_FromSpec(&type_spec); }));
}

const healing::HealingConfig* healing_config_of(PyObject* object) {
  PyTypeObject* type = healing_config_type();
  if (type == nullptr || !PyObject_TypeCheck(object, type)) return nullptr;
  return &config_of(object);
}

}  // namespace pelorix::binding
