#version 120

// Segments hand over centre-line points; the outline is placed here, after the
// view transform, so that it stays exact under rotation, mirroring and skew.
// Every edge is pushed out by the feather (in output pixels) to leave room for
// the anti-aliased rim that the fragment program draws.

attribute vec4 posAttr;  // centre-line point (xy), direction (zw)
attribute vec2 colAttr;  // opacity, radius
attribute vec3 typeAttr; // side code, anti-aliasing direction (yz)

uniform mat4 projection;
uniform mat4 transform;
uniform float feather;

varying float opacity;
varying float radius;  // in output pixels
varying vec2 normal;   // unit length at the (feathered) edge, zero on the centre line

bool mirrored()
{
    return (transform[0][0] < 0.0) != (transform[1][1] < 0.0);
}

// The outward normal of the stroke's side that this vertex lies on, in output
// coordinates. A mirror flips which turn of the direction points outwards.
vec2 sideNormal(vec2 direction, float side)
{
    if (abs(side) < 0.5)
        return vec2(0.0);
    vec4 transformed = transform * vec4(direction, 0.0, 0.0);
    vec2 u = transformed.xy;
    float len = length(u);
    if (len > 0.0)
        u /= len;
    if ((side < 0.0) != mirrored())
        return vec2(-u.y, u.x);
    return vec2(u.y, -u.x);
}

void main()
{
    float side = typeAttr.x;
    vec2 centre = posAttr.xy;
    vec2 t = posAttr.zw;
    if (length(t) > 0.0)
        t = normalize(t);
    vec2 ta = typeAttr.yz;
    if (length(ta) > 0.0)
        ta = normalize(ta);

    vec2 offset = vec2(0.0);
    if (side > 0.5)
        offset = colAttr.y * vec2(t.y, -t.x);
    else if (side < -0.5)
        offset = colAttr.y * vec2(-t.y, t.x);

    vec2 n = sideNormal(t, side);
    vec2 c = (transform * vec4(centre, 0.0, 1.0)).xy;
    // The edge's offset is transformed as a vector, not as the difference of
    // two transformed points: the radius then does not depend on where the
    // stroke lies (or on the tile being drawn), to the last bit.
    vec2 edgeOffset = (transform * vec4(offset, 0.0, 0.0)).xy;
    vec2 e = c + edgeOffset;

    if (side != 0.0)
        radius = dot(edgeOffset, n);
    else
        radius = length((transform * vec4(colAttr.y, 0.0, 0.0, 0.0)).xy);

    // Centres and disc rims take their normal from the anti-aliasing direction,
    // which is shared by both rim vertices of a fan triangle: the interpolated
    // normal then measures the distance from the disc's centre.
    normal = abs(side) < 0.75 ? sideNormal(ta, side) : n;
    opacity = colAttr.x;

    gl_Position = projection * vec4(e + n * feather, 0.0, 1.0);
}
