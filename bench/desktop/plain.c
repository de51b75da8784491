/* The plain libatspi anchors of the desktop benchmark: one library call (one bus call) per read.
 *
 *   plain find PID   breadth-first search for the push button named "Target": the role of
 *                    every element, the name of role matches, the child count and then the
 *                    children one index at a time
 *   plain walk PID   the idle reading's walk: role, name, accessible id, extents twice
 *                    (position and size) and the children (count, then one index at a time)
 *                    of every element
 *   plain collection PID
 *                    one Collection.GetMatches call for the push buttons, then the names of
 *                    the matches in the order the application returns them
 *
 * libatspi's cache is off (ATSPI_NO_CACHE), as in pelorix: nothing here runs its event loop.
 * Prints "<seconds> <bus calls> <found>" for the timed part alone (bus calls counted by the
 * preloaded callcount.so when present).
 */
#define _GNU_SOURCE
#include <atspi/atspi.h>
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

static unsigned long calls(void) {
  unsigned long (*count)(void) = (unsigned long (*)(void))dlsym(RTLD_DEFAULT, "bench_bus_calls");
  return count != NULL ? count() : 0;
}

static double seconds(void) {
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return (double)now.tv_sec + (double)now.tv_nsec / 1e9;
}

static AtspiAccessible* application(pid_t pid) {
  AtspiAccessible* desktop = atspi_get_desktop(0);
  gint count = atspi_accessible_get_child_count(desktop, NULL);
  for (gint i = 0; i < count; ++i) {
    AtspiAccessible* app = atspi_accessible_get_child_at_index(desktop, i, NULL);
    if (app != NULL && (pid_t)atspi_accessible_get_process_id(app, NULL) == pid) {
      g_object_unref(desktop);
      return app;
    }
    if (app != NULL) g_object_unref(app);
  }
  g_object_unref(desktop);
  return NULL;
}

static void enqueue_children(AtspiAccessible* element, GQueue* queue) {
  gint count = atspi_accessible_get_child_count(element, NULL);
  for (gint i = 0; i < count; ++i) {
    AtspiAccessible* child = atspi_accessible_get_child_at_index(element, i, NULL);
    if (child != NULL) g_queue_push_tail(queue, child);
  }
}

static int find(AtspiAccessible* root) {
  GQueue queue = G_QUEUE_INIT;
  g_queue_push_tail(&queue, g_object_ref(root));
  int found = 0;
  AtspiAccessible* element;
  while (!found && (element = g_queue_pop_head(&queue)) != NULL) {
    if (atspi_accessible_get_role(element, NULL) == ATSPI_ROLE_PUSH_BUTTON) {
      gchar* name = atspi_accessible_get_name(element, NULL);
      found = name != NULL && strcmp(name, "Target") == 0;
      g_free(name);
    }
    if (!found) enqueue_children(element, &queue);
    g_object_unref(element);
  }
  g_queue_free_full(&queue, g_object_unref);
  return found;
}

static int walk(AtspiAccessible* root) {
  GQueue queue = G_QUEUE_INIT;
  g_queue_push_tail(&queue, g_object_ref(root));
  int visited = 0;
  AtspiAccessible* element;
  while ((element = g_queue_pop_head(&queue)) != NULL) {
    ++visited;
    (void)atspi_accessible_get_role(element, NULL);
    g_free(atspi_accessible_get_name(element, NULL));
    g_free(atspi_accessible_get_accessible_id(element, NULL));
    /* The component interface is taken from the element's interface list, which costs a
     * call of its own without the cache; an element without one fails the extents call. */
    AtspiComponent* component = ATSPI_COMPONENT(element);
    g_free(atspi_component_get_extents(component, ATSPI_COORD_TYPE_SCREEN, NULL));
    g_free(atspi_component_get_extents(component, ATSPI_COORD_TYPE_SCREEN, NULL));
    enqueue_children(element, &queue);
    g_object_unref(element);
  }
  return visited;
}

static int collection(AtspiAccessible* root) {
  AtspiCollection* matcher = atspi_accessible_get_collection_iface(root);
  if (matcher == NULL) return 0;
  GArray* roles = g_array_new(FALSE, FALSE, sizeof(AtspiRole));
  AtspiRole button = ATSPI_ROLE_PUSH_BUTTON;
  g_array_append_val(roles, button);
  AtspiMatchRule* rule = atspi_match_rule_new(
      NULL, ATSPI_Collection_MATCH_NONE, NULL, ATSPI_Collection_MATCH_NONE, roles,
      ATSPI_Collection_MATCH_ANY, NULL, ATSPI_Collection_MATCH_NONE, FALSE);
  GArray* matches = atspi_collection_get_matches(
      matcher, rule, ATSPI_Collection_SORT_ORDER_CANONICAL, 0, TRUE, NULL);
  int found = 0;
  for (guint i = 0; matches != NULL && i < matches->len; ++i) {
    AtspiAccessible* match = g_array_index(matches, AtspiAccessible*, i);
    if (!found) {
      gchar* name = atspi_accessible_get_name(match, NULL);
      found = name != NULL && strcmp(name, "Target") == 0;
      g_free(name);
    }
    g_object_unref(match);
  }
  if (matches != NULL) g_array_free(matches, TRUE);
  g_object_unref(rule);
  g_array_free(roles, TRUE);
  g_object_unref(matcher);
  return found;
}

int main(int argc, char** argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: plain find|walk|collection PID\n");
    return 2;
  }
  g_setenv("ATSPI_NO_CACHE", "1", TRUE);
  if (atspi_init() > 1) return 1;
  atspi_set_timeout(1000, 1000);
  AtspiAccessible* app = application((pid_t)atoi(argv[2]));
  if (app == NULL) {
    fprintf(stderr, "plain: no application with pid %s\n", argv[2]);
    return 1;
  }
  unsigned long calls_before = calls();
  double start = seconds();
  int result = strcmp(argv[1], "find") == 0   ? find(app)
               : strcmp(argv[1], "walk") == 0 ? walk(app)
                                              : collection(app);
  double elapsed = seconds() - start;
  printf("%.6f %lu %d\n", elapsed, calls() - calls_before, result);
  if (getenv("BENCH_CALL_DETAIL") != NULL) {
    void (*dump)(void) = (void (*)(void))dlsym(RTLD_DEFAULT, "bench_bus_calls_dump");
    if (dump != NULL) dump();
  }
  g_object_unref(app);
  return 0;
}
