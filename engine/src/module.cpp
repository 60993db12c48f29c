/* The module part of Corvengine.dll: everything else is in the engine library. */
