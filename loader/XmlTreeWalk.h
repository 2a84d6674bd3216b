// XmlTreeWalk: visits a libxml2 tree in document order without recursion, for the markup readers.
#pragma once

#include <libxml/tree.h>

// Calls enter(node) on each node from `root` on, in document order, and
// leave(node) after its children; a node whose enter returns false is not
// descended into (leave is still called). A loop, not recursion: a document
// nested ten thousand deep costs no stack.
template <typename Enter, typename Leave>
void walkXmlTree(xmlNode *root, Enter &&enter, Leave &&leave)
{
    xmlNode *node = root;
    while (node) {
        if (enter(node) && node->children && node->type != XML_ENTITY_REF_NODE) {
            node = node->children;
            continue;
        }
        // Up until a node with a next sibling, leaving each on the way.
        while (node) {
            leave(node);
            if (node == root)
                return;
            if (node->next) {
                node = node->next;
                break;
            }
            node = node->parent;
        }
    }
}
